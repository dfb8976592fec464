#include "Timeline.h"

#include <algorithm>

#include "Atoms.h"
#include "AviFile.h"
#include "MovieReader.h"

namespace trelvan::verify {

double Timeline::End() const {
    if (m_samples.empty()) {
        return 0;
    }
    const TimedSample& last = m_samples.back();
    double length = last.duration;
    if (length == 0 && m_samples.size() > 1) {
        length = last.time - m_samples[m_samples.size() - 2].time;
    }
    return last.time + std::max(length, 0.0);
}

size_t Timeline::SampleAtByte(uint64_t byte) const {
    const auto it = std::upper_bound(m_samples.begin(), m_samples.end(), byte,
                                     [](uint64_t b, const TimedSample& s) { return b < s.byte; });
    if (it == m_samples.begin()) {
        return m_samples.size();
    }
    const size_t i = static_cast<size_t>(it - m_samples.begin()) - 1;
    return byte < m_samples[i].byte + m_samples[i].size ? i : m_samples.size();
}

double Timeline::TimeOfSample(uint64_t i) const {
    return i < m_samples.size() ? m_samples[i].time : End();
}

double Timeline::TimeOfByte(uint64_t byte) const {
    const size_t i = SampleAtByte(byte);
    if (i >= m_samples.size()) {
        return End();
    }
    const TimedSample& s = m_samples[i];
    return s.time + (s.size == 0 ? 0 : s.duration * static_cast<double>(byte - s.byte) / s.size);
}

namespace {

Timeline AviTimeline(MediaFile& file, int stream) {
    Timeline tl;
    int32_t code = 0;
    const std::shared_ptr<AviFile> avi = file.Avi(&code);
    if (!avi || stream < 0 || stream >= avi->StreamCount()) {
        return tl;
    }
    const AviStream& s = avi->Stream(stream);
    const double tick =
        s.Info().dwRate == 0 ? 0 : static_cast<double>(s.Info().dwScale) / s.Info().dwRate;
    const uint32_t unit = s.SampleSize();
    uint64_t bytes = 0;
    for (int64_t c = 0; c < s.ChunkCount(); ++c) {
        const uint32_t size = s.ChunkSize(c);
        const double at = unit != 0 ? static_cast<double>(bytes / unit) : static_cast<double>(c);
        const double length = unit != 0 ? static_cast<double>(size) / unit : 1.0;
        tl.Add({(s.Start() + at) * tick, length * tick, bytes, size, s.ChunkIsKey(c)});
        bytes += size;
    }
    return tl;
}

Timeline MovieTimeline(MediaFile& file, MediaKind kind) {
    Timeline tl;
    int32_t r = 0;
    std::string complaint;
    const std::shared_ptr<const mov::Movie> movie = file.Movie(&r, &complaint);
    const uint32_t handler = kind == MediaKind::Video ? mov::atom::kVide : mov::atom::kSoun;
    for (size_t t = 0; movie && t < movie->tracks.size(); ++t) {
        const mov::Track& track = movie->tracks[t];
        if (track.handler != handler) {
            continue;
        }
        const double unit = track.timescale == 0 ? 0 : 1.0 / track.timescale;
        uint64_t dts = 0, bytes = 0;
        for (const mov::Sample& s : track.samples) {
            tl.Add({static_cast<double>(dts) * unit, s.duration * unit, bytes, s.size,
                    (s.flags & mov::kSampleSync) != 0});
            dts += s.duration;
            bytes += s.size;
        }
        break;
    }
    return tl;
}

}  // namespace

namespace {

Timeline MakeTimeline(MediaFile& file, MediaKind kind, std::string* error) {
    auto walk = file.Walk(kind, error);
    if (!walk) {
        return {};
    }
    switch (file.Kind()) {
        case Container::Avi:
        case Container::Wave:
            return AviTimeline(file, walk->Stream());
        case Container::Movie:
            return MovieTimeline(file, kind);
        default:
            break;
    }
    Timeline tl;
    MediaSample s;
    uint64_t bytes = 0;
    for (int r; (r = walk->Next(s)) != 0;) {
        if (r < 0) {
            *error = walk->Error();
            break;
        }
        const auto size = static_cast<uint32_t>(s.data.size());
        tl.Add(
            {walk->Base().Seconds(s.time), walk->Base().Seconds(s.duration), bytes, size, s.key});
        bytes += size;
    }
    return tl;
}

}  // namespace

// The passes of a check ask for the same timelines again: an ASF file's is
// made by reading every sample, so each is made once per file and check.
Timeline TimelineOf(MediaFile& file, MediaKind kind, std::string* error) {
    if (const std::shared_ptr<const Timeline> kept = file.KeptTimeline(kind)) {
        return *kept;
    }
    Timeline tl = MakeTimeline(file, kind, error);
    if (error->empty()) {
        file.KeepTimeline(kind, std::make_shared<const Timeline>(tl));
    }
    return tl;
}

}  // namespace trelvan::verify
