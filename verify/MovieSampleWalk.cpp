#include "IoFile.h"
#include "LayerWalks.h"
#include "MovieReader.h"

// The movie layer's walk: a track's samples as its sample tables list them
// (a run of equal table samples, as QuickTime stores sound, is one sample
// here). Times are decode times in the media's time scale.
namespace trelvan::verify {
namespace {

class MovieSampleWalk : public SampleWalk {
  public:
    MovieSampleWalk(std::shared_ptr<const mov::Movie> movie, size_t track)
        : m_movie(std::move(movie)), m_track(m_movie->tracks[track]) {
        for (const mov::Sample& s : m_track.samples) {
            m_total += s.size;
        }
        m_stream = static_cast<int>(m_track.id);
        m_base = {1, m_track.timescale};
    }
    int64_t TotalBytes() const override { return static_cast<int64_t>(m_total); }
    bool Peek(uint32_t* size, bool* key) const override {
        if (m_next >= m_track.samples.size()) {
            return false;
        }
        *size = m_track.samples[m_next].size;
        *key = (m_track.samples[m_next].flags & mov::kSampleSync) != 0;
        return true;
    }
    int Skip() override {
        if (m_next >= m_track.samples.size()) {
            return 0;
        }
        m_time += m_track.samples[m_next].duration;
        ++m_next;
        return 1;
    }
    int Next(MediaSample& out) override {
        if (m_next >= m_track.samples.size()) {
            return 0;
        }
        const mov::Sample& s = m_track.samples[m_next];
        out.data.resize(s.size);
        out.key = (s.flags & mov::kSampleSync) != 0;
        out.stream = m_stream;
        out.time = m_time;
        out.duration = s.duration;
        out.position = static_cast<int64_t>(s.offset);
        IoFile* file = s.source < m_movie->sources.size()
                           ? m_movie->sources[s.source].file.get()
                           : nullptr;
        if (s.size > 0 &&
            (file == nullptr || file->ReadAt(s.offset, out.data.data(), s.size) != s.size)) {
            m_error = "sample " + std::to_string(m_next) + " of track " +
                      std::to_string(m_track.id) + " cannot be read";
            return -1;
        }
        m_time += s.duration;
        ++m_next;
        return 1;
    }

  private:
    std::shared_ptr<const mov::Movie> m_movie;
    const mov::Track& m_track;
    size_t m_next = 0;
    int64_t m_time = 0;
    uint64_t m_total = 0;
};

}  // namespace

std::unique_ptr<SampleWalk> WalkMovieTrack(std::shared_ptr<const mov::Movie> movie, size_t track) {
    return std::make_unique<MovieSampleWalk>(std::move(movie), track);
}

}  // namespace trelvan::verify
