#include <algorithm>
#include <memory>
#include <span>

#include "AsfByteReader.h"
#include "AsfReader.h"
#include "AtomIterator.h"
#include "Atoms.h"
#include "ByteOrder.h"
#include "IoFile.h"
#include "MovieReader.h"
#include "OutputStructure.h"

// The ASF family and movies.
namespace trelvan::verify {
namespace {

std::string TypeText(uint32_t type) {
    std::string s = "'";
    for (int i = 3; i >= 0; --i) {
        const char c = static_cast<char>((type >> (8 * i)) & 0xFF);
        s += c >= 0x20 && c < 0x7F ? c : '.';
    }
    return s + "'";
}

// ---- ASF -------------------------------------------------------------------

constexpr uint32_t kBroadcast = 1;  // file properties flag: sizes and counts are not set

}  // namespace

std::optional<VerifyDifference> CheckAsfStructure(MediaFile& file,
                                                  std::vector<std::string>* checked) {
    const std::string& path = file.Path();
    std::unique_ptr<IoFile> io = OpenDiskFile(path, OpenMode::Read);
    const int64_t ssize = io ? io->Size() : -1;
    uint8_t head[30];
    if (ssize < 30 || io->ReadAt(0, head, sizeof head) != 30) {
        return VerifyDifference{"file", -1, -1, "header object", "present", "missing"};
    }
    const auto size = static_cast<uint64_t>(ssize);
    const uint64_t header_size = bytes::GetLE64(head + 16);
    uint8_t data[50];
    if (header_size > size || size - header_size < 50 ||
        io->ReadAt(header_size, data, sizeof data) != 50) {
        return FieldDifference("header object", "size (the data object follows it)",
                               size > 50 ? size - 50 : 0, header_size);
    }
    if (!std::equal(data, data + 16, asf::guid::kData.b.begin())) {
        return VerifyDifference{"file", -1, static_cast<int64_t>(header_size), "object after the header",
                                "data object", asf::GuidText(asf::ByteReader(data, 16).ReadGuid())};
    }
    const uint64_t data_size = bytes::GetLE64(data + 16);
    const uint64_t data_packets = bytes::GetLE64(data + 40);
    asf::AsfReader reader;
    const wm::HRESULT r = reader.Open(path);
    if (wm::Failed(r)) {
        return VerifyDifference{"file", -1, -1, "opens as an ASF file", "yes",
                                "no (result " + std::to_string(r) + ")"};
    }
    const asf::FileProperties& fp = reader.Header().props;
    if (fp.minPacketSize != fp.maxPacketSize) {
        return FieldDifference("file properties", "maximum packet size (as the minimum)",
                               fp.minPacketSize, fp.maxPacketSize);
    }
    const bool broadcast = (fp.flags & kBroadcast) != 0;
    if (data_size > size - header_size) {
        return FieldDifference("data object", "size (the file ends before it)", size - header_size,
                               data_size);
    }
    if (!broadcast) {
        if (fp.fileSize != size) {
            return FieldDifference("file properties", "file size", size, fp.fileSize);
        }
        if (fp.packetCount != data_packets) {
            return FieldDifference("file properties", "data packets (as the data object counts)",
                                   data_packets, fp.packetCount);
        }
        if (data_size != 50 + data_packets * fp.maxPacketSize) {
            return FieldDifference("data object", "size (50 + packets x packet size)",
                                   50 + data_packets * fp.maxPacketSize, data_size);
        }
    }
    // What follows the data packets is whole objects (indexes) to the end.
    for (uint64_t pos = header_size + data_size; pos < size;) {
        uint8_t oh[24];
        const uint64_t n = size - pos >= 24 && io->ReadAt(pos, oh, sizeof oh) == 24
                               ? bytes::GetLE64(oh + 16)
                               : 0;
        if (n < 24 || n > size - pos) {
            return VerifyDifference{"file", -1, static_cast<int64_t>(pos), "object after the data",
                                    "a whole object", std::to_string(size - pos) + " bytes left"};
        }
        pos += n;
    }
    for (const asf::SimpleIndex& si : reader.Index().simple) {
        for (size_t i = 0; i < si.entries.size(); ++i) {
            if (si.entries[i].packet >= reader.PacketCount()) {
                return VerifyDifference{"simple index", static_cast<int64_t>(i), -1,
                                        "packet (below the packet count)",
                                        std::to_string(reader.PacketCount()),
                                        std::to_string(si.entries[i].packet)};
            }
        }
    }
    checked->push_back("file size " + std::to_string(fp.fileSize) + ", " +
                       std::to_string(data_packets) + " packets of " +
                       std::to_string(fp.maxPacketSize) + " bytes");
    return std::nullopt;
}

// ---- movies ----------------------------------------------------------------

namespace {

namespace atom = mov::atom;

// The child of `parent` of the given type, or an empty view.
mov::AtomView Child(std::span<const uint8_t> parent, uint32_t type) {
    mov::AtomIterator it(parent);
    mov::AtomView v;
    while (it.Next(v)) {
        if (v.type == type) {
            return v;
        }
    }
    return {};
}

// The rest of a full atom after version and flags; empty when it is short.
std::span<const uint8_t> FullBody(const mov::AtomView& v, uint8_t* version) {
    uint32_t flags = 0;
    std::span<const uint8_t> rest;
    if (v.payload.empty() || !mov::SplitFullAtom(v.payload, *version, flags, rest)) {
        return {};
    }
    return rest;
}

// Creation and modification times, then a u32 and a duration: the shape of
// mvhd (time scale), tkhd (track id, a reserved word between) and mdhd
// (time scale).
bool TimedHeader(const mov::AtomView& v, bool tkhd, uint32_t* value, uint64_t* duration) {
    uint8_t version = 0;
    const std::span<const uint8_t> b = FullBody(v, &version);
    const size_t at = version == 1 ? 16 : 8;
    const size_t dur_at = at + 4 + (tkhd ? 4 : 0);
    if (b.size() < dur_at + (version == 1 ? 8 : 4)) {
        return false;
    }
    *value = bytes::GetBE32(b.data() + at);
    *duration = version == 1 ? bytes::GetBE64(b.data() + dur_at) : bytes::GetBE32(b.data() + dur_at);
    return true;
}

// Sum of the counts of a table of (count, value) pairs and of count * value.
bool SumPairs(const mov::AtomView& v, uint64_t* counts, uint64_t* products) {
    uint8_t version = 0;
    const std::span<const uint8_t> b = FullBody(v, &version);
    if (b.size() < 4) {
        return false;
    }
    const uint64_t n = bytes::GetBE32(b.data());
    if (n > (b.size() - 4) / 8) {
        return false;
    }
    *counts = 0;
    *products = 0;
    for (uint64_t i = 0; i < n; ++i) {
        const uint32_t c = bytes::GetBE32(b.data() + 4 + 8 * i);
        *counts += c;
        *products += uint64_t{c} * bytes::GetBE32(b.data() + 8 + 8 * i);
    }
    return true;
}

struct TrackFigures {
    uint64_t tkhdDuration = 0;
    uint64_t tkhdMovieDuration = 0;  // what its edits or its media give
};

std::optional<VerifyDifference> CheckTrak(std::span<const uint8_t> trak, size_t index,
                                          uint32_t movie_scale, bool fragmented,
                                          TrackFigures* fig, std::vector<std::string>* checked) {
    const mov::AtomView mdia = Child(trak, atom::Type("mdia"));
    const mov::AtomView stbl = Child(Child(mdia.payload, atom::Type("minf")).payload, atom::Type("stbl"));
    const mov::AtomView hdlr = Child(mdia.payload, atom::Type("hdlr"));
    uint8_t version = 0;
    const std::span<const uint8_t> hb = FullBody(hdlr, &version);
    const uint32_t handler = hb.size() >= 8 ? bytes::GetBE32(hb.data() + 4) : 0;
    const std::string name = "trak " + std::to_string(index) + " " + TypeText(handler);

    uint32_t track_id = 0, media_scale = 0;
    uint64_t media_duration = 0;
    if (!TimedHeader(Child(trak, atom::Type("tkhd")), true, &track_id, &fig->tkhdDuration) ||
        !TimedHeader(Child(mdia.payload, atom::Type("mdhd")), false, &media_scale, &media_duration)) {
        return VerifyDifference{name, -1, -1, "tkhd and mdhd", "present", "missing or short"};
    }
    const mov::AtomView stsz = Child(stbl.payload, atom::Type("stsz"));
    const std::span<const uint8_t> zb = FullBody(stsz, &version);
    if (zb.size() < 8) {
        return VerifyDifference{name, -1, -1, "stsz", "present", "missing or short"};
    }
    const uint64_t samples = bytes::GetBE32(zb.data() + 4);
    if (bytes::GetBE32(zb.data()) == 0 && samples > (zb.size() - 8) / 4) {
        return FieldDifference(name + " stsz", "entries (as its sample count)", samples,
                               (zb.size() - 8) / 4);
    }
    uint64_t timed = 0, ticks = 0;
    if (!SumPairs(Child(stbl.payload, atom::Type("stts")), &timed, &ticks)) {
        return VerifyDifference{name, -1, -1, "stts", "a whole table", "missing or short"};
    }
    if (timed != samples) {
        return FieldDifference(name + " stts", "samples timed (as stsz counts)", samples, timed);
    }
    const mov::AtomView ctts = Child(stbl.payload, atom::Type("ctts"));
    uint64_t offsets = 0, unused = 0;
    if (!ctts.whole.empty() && (!SumPairs(ctts, &offsets, &unused) || offsets != samples)) {
        return FieldDifference(name + " ctts", "samples (as stsz counts)", samples, offsets);
    }
    const std::span<const uint8_t> sb = FullBody(Child(stbl.payload, atom::Type("stss")), &version);
    if (sb.size() >= 4) {
        const uint64_t n = std::min<uint64_t>(bytes::GetBE32(sb.data()), (sb.size() - 4) / 4);
        for (uint64_t i = 0; i < n; ++i) {
            const uint32_t s = bytes::GetBE32(sb.data() + 4 + 4 * i);
            if (s == 0 || s > samples) {
                return VerifyDifference{name + " stss", static_cast<int64_t>(i), -1,
                                        "sync sample number", "1.." + std::to_string(samples),
                                        std::to_string(s)};
            }
        }
    }
    if (!fragmented && media_duration != ticks) {
        return FieldDifference(name + " mdhd", "duration (the sum of stts)", ticks, media_duration);
    }
    // The track's length in the movie: its edits, or its whole media.
    const std::span<const uint8_t> eb = FullBody(Child(Child(trak, atom::Type("edts")).payload, atom::Type("elst")), &version);
    if (eb.size() >= 4) {
        const size_t entry = version == 1 ? 20 : 12;
        const uint64_t n = std::min<uint64_t>(bytes::GetBE32(eb.data()), (eb.size() - 4) / entry);
        for (uint64_t i = 0; i < n; ++i) {
            const uint8_t* e = eb.data() + 4 + entry * i;
            fig->tkhdMovieDuration += version == 1 ? bytes::GetBE64(e) : bytes::GetBE32(e);
        }
    } else {
        fig->tkhdMovieDuration = mov::Rescale(media_duration, media_scale, movie_scale);
    }
    const uint64_t d = fig->tkhdDuration, want = fig->tkhdMovieDuration;
    if (!fragmented && (d + 1 < want || d > want + 1)) {
        return FieldDifference(name + " tkhd", "duration (its edits or media, movie units)", want, d);
    }
    checked->push_back(name + ": " + std::to_string(samples) + " samples, media duration " +
                       std::to_string(media_duration));
    return std::nullopt;
}

}  // namespace

std::optional<VerifyDifference> CheckMovieStructure(MediaFile& file,
                                                    std::vector<std::string>* checked) {
    const std::string& path = file.Path();
    std::shared_ptr<IoFile> io = OpenDiskFile(path, OpenMode::Read);
    const int64_t ssize = io ? io->Size() : -1;
    if (ssize < 0) {
        return VerifyDifference{"file", -1, -1, "readable", "yes", "no"};
    }
    const auto size = static_cast<uint64_t>(ssize);
    // The top-level atoms follow one another to the end of the file.
    std::vector<uint8_t> moov;
    for (uint64_t pos = 0; pos < size;) {
        uint8_t h[16];
        const int64_t got = io->ReadAt(pos, h, std::min<uint64_t>(16, size - pos));
        if (got < 8) {
            return VerifyDifference{"file", -1, static_cast<int64_t>(pos), "bytes after the last atom",
                                    "none", std::to_string(size - pos)};
        }
        uint64_t n = bytes::GetBE32(h);
        const uint32_t type = bytes::GetBE32(h + 4);
        uint64_t header = 8;
        if (n == 1 && got >= 16) {
            n = bytes::GetBE64(h + 8);
            header = 16;
        } else if (n == 0) {
            n = size - pos;
        }
        if (n < header || n > size - pos) {
            return VerifyDifference{"atom " + TypeText(type), -1, static_cast<int64_t>(pos),
                                    "size (bytes left in the file)", std::to_string(size - pos),
                                    std::to_string(n)};
        }
        if (type == atom::kMoov && moov.empty() && n <= mov::kMaxHeaderAtom) {
            moov.resize(static_cast<size_t>(n - header));
            if (io->ReadAt(pos + header, moov.data(), moov.size()) !=
                static_cast<int64_t>(moov.size())) {
                return VerifyDifference{"moov", -1, -1, "readable", "yes", "no"};
            }
        }
        pos += n;
    }
    if (moov.empty()) {
        return VerifyDifference{"file", -1, -1, "movie atom", "present", "missing"};
    }
    uint32_t movie_scale = 0;
    uint64_t movie_duration = 0;
    if (!TimedHeader(Child(moov, atom::kMvhd), false, &movie_scale, &movie_duration)) {
        return VerifyDifference{"mvhd", -1, -1, "header", "present", "missing or short"};
    }
    const bool fragmented = !Child(moov, atom::Type("mvex")).whole.empty();
    uint64_t longest = 0;
    size_t traks = 0;
    mov::AtomIterator it(moov);
    mov::AtomView v;
    while (it.Next(v)) {
        if (v.type != atom::Type("trak")) {
            continue;
        }
        TrackFigures fig;
        if (auto d = CheckTrak(v.payload, traks++, movie_scale, fragmented, &fig, checked)) {
            return d;
        }
        longest = std::max(longest, fig.tkhdDuration);
    }
    if (it.Broken()) {
        return VerifyDifference{"moov", -1, -1, "atom sizes", "within their parents", "broken"};
    }
    if (!fragmented && movie_duration != longest) {
        return FieldDifference("mvhd", "duration (the longest track)", longest, movie_duration);
    }
    // The reader's own complaints, and every sample inside the file.
    std::string complaint;
    int32_t r = 0;
    const std::shared_ptr<const mov::Movie> read = file.Movie(&r, &complaint);
    if (!read || !complaint.empty()) {
        return VerifyDifference{"movie", -1, -1, "reading", "no complaint",
                                complaint.empty() ? "result " + std::to_string(r) : complaint};
    }
    const mov::Movie& movie = *read;
    for (size_t t = 0; t < movie.tracks.size(); ++t) {
        const mov::Track& track = movie.tracks[t];
        for (size_t i = 0; i < track.samples.size(); ++i) {
            const mov::Sample& s = track.samples[i];
            if (s.source != 0 || s.offset + s.size > size) {
                return VerifyDifference{"trak " + std::to_string(t), static_cast<int64_t>(i),
                                        static_cast<int64_t>(s.offset), "sample end in the file",
                                        "at most " + std::to_string(size),
                                        std::to_string(s.offset + s.size)};
            }
        }
    }
    checked->push_back("mvhd duration " + std::to_string(movie_duration) + ", " +
                       std::to_string(traks) + " tracks");
    return std::nullopt;
}

std::optional<VerifyDifference> CheckStructure(MediaFile& file, std::vector<std::string>* checked) {
    switch (file.Kind()) {
        case Container::Avi: return CheckAviStructure(file, checked);
        case Container::Wave: return CheckWaveStructure(file, checked);
        case Container::Asf: return CheckAsfStructure(file, checked);
        case Container::Movie: return CheckMovieStructure(file, checked);
        default:
            if (!OpenDiskFile(file.Path(), OpenMode::Read)) {
                return VerifyDifference{"file", -1, -1, "readable", "yes", "no (it cannot be opened)"};
            }
            return VerifyDifference{"file", -1, -1, "container", "AVI, WAV, ASF or movie",
                                    "none of them"};
    }
}

}  // namespace trelvan::verify
