#include "MovieWriter.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "AtomWriter.h"
#include "Atoms.h"
#include "BufferedWriter.h"
#include "ByteOrder.h"
#include "SampleTableWriter.h"
#include "SoundLayout.h"

namespace trelvan::mov {
namespace {

// Splits every track into chunks: consecutive samples of one description,
// closed after limits.chunkMillis of media time or limits.chunkBytes, and
// where a track's samples begin to be shown past the movie's end (sound
// priming's tail, a composition delay, lead-in media): those go into
// chunks of their own.
std::vector<Chunk> PlanChunks(const Movie& movie, const FlattenLimits& limits) {
    std::vector<Chunk> chunks;
    const uint64_t movieEnd = movie.Duration();
    for (uint32_t ti = 0; ti < movie.tracks.size(); ++ti) {
        const Track& t = movie.tracks[ti];
        const uint64_t span = std::max<uint64_t>(1, uint64_t{t.timescale} * limits.chunkMillis / 1000);
        uint64_t dts = 0, chunkTime = 0, chunkBytes = 0;
        // Sound whose tables count frames: a chunk's bytes follow from its
        // frames in whole packets, so a run ending in part of a packet (the
        // end of a source) closes its chunk.
        bool partialPacket = false, late = false;
        for (size_t i = 0; i < t.samples.size(); ++i) {
            const Sample& s = t.samples[i];
            late = late || ShownPastMovieEnd(static_cast<int64_t>(dts) + s.cts, t.timescale, movieEnd,
                                     movie.timescale);
            const bool open = !chunks.empty() && chunks.back().track == ti && !partialPacket &&
                              chunks.back().late == late &&
                              t.samples[chunks.back().first].desc == s.desc &&
                              dts - chunkTime < span && chunkBytes + s.size <= limits.chunkBytes;
            if (t.frameRuns && s.desc >= 1 && s.desc <= t.descriptions.size()) {
                const FramePacking packing = FramePackingOf(t.descriptions[s.desc - 1]);
                partialPacket = packing.framesPerPacket > 1 && s.count % packing.framesPerPacket != 0;
            }
            if (open) {
                ++chunks.back().count;
                chunkBytes += s.size;
            } else {
                chunks.push_back({ti, i, 1, dts, 0, late});
                chunkTime = dts;
                chunkBytes = s.size;
            }
            dts += s.duration;
        }
    }
    return chunks;
}

// Chunks in order of their start times in seconds (each track's own order
// kept), except that chunks shown past the movie's end come after all the
// others, those of tracks of sync samples only (sound) last. A demuxer
// reading the file as a stream (GStreamer's qtdemux in push mode) ends a
// track at its first sample past the movie's end and then loses its place
// in the stream: whatever follows in the file is never read.
std::vector<Chunk*> InterleaveByTime(const Movie& movie, std::vector<Chunk>& chunks) {
    std::vector<int> rank(movie.tracks.size(), 1);
    for (size_t i = 0; i < movie.tracks.size(); ++i) {
        const std::vector<Sample>& samples = movie.tracks[i].samples;
        const bool allSync = std::all_of(samples.begin(), samples.end(),
                                         [](const Sample& s) { return s.flags & kSampleSync; });
        rank[i] = allSync ? 2 : 1;
    }
    std::vector<Chunk*> order;
    order.reserve(chunks.size());
    for (Chunk& c : chunks) {
        order.push_back(&c);
    }
    std::stable_sort(order.begin(), order.end(), [&](const Chunk* a, const Chunk* b) {
        const int ra = a->late ? rank[a->track] : 0, rb = b->late ? rank[b->track] : 0;
        if (ra != rb) {
            return ra < rb;
        }
        const auto l = static_cast<unsigned __int128>(a->start) * movie.tracks[b->track].timescale;
        const auto r = static_cast<unsigned __int128>(b->start) * movie.tracks[a->track].timescale;
        return l < r;
    });
    return order;
}

// Copies one chunk's samples, run by run: samples that lie back to back in
// one source are moved in one piece.
MovResult CopyChunk(const Movie& movie, const Chunk& c, BufferedWriter& out,
                    std::vector<uint8_t>& buffer, const FlattenLimits& limits) {
    const Track& t = movie.tracks[c.track];
    size_t i = c.first;
    const size_t end = c.first + c.count;
    while (i < end) {
        const Sample& s = t.samples[i];
        uint64_t bytes = s.size;
        size_t j = i + 1;
        while (j < end && t.samples[j].source == s.source &&
               t.samples[j].offset == s.offset + bytes) {
            bytes += t.samples[j].size;
            ++j;
        }
        if (bytes == 0) {  // samples that hold nothing (damaged or empty)
            i = j;
            continue;
        }
        if (s.source >= movie.sources.size() || !movie.sources[s.source].file) {
            return kDataNotOpenForRead;
        }
        IoFile& from = *movie.sources[s.source].file;
        if (bytes >= limits.directCopyBytes) {
            if (!out.CopyFrom(from, s.offset, bytes)) {
                // Which side failed: a source that still reads its last
                // byte was not the cause.
                uint8_t last = 0;
                return from.ReadAt(s.offset + bytes - 1, &last, 1) == 1 ? kDataNotOpenForWrite
                                                                        : kDataNotOpenForRead;
            }
        } else {
            buffer.resize(static_cast<size_t>(bytes));
            if (from.ReadAt(s.offset, buffer.data(), buffer.size()) !=
                static_cast<int64_t>(bytes)) {
                return kDataNotOpenForRead;
            }
            if (!out.Write(buffer.data(), buffer.size())) {
                return kDataNotOpenForWrite;
            }
        }
        i = j;
    }
    return kNoErr;
}

struct NamedBrand {
    std::string_view extension;  // lower case, with the dot
    uint32_t brand;
};
constexpr NamedBrand kNamedBrands[] = {
    {".mp4", atom::Type("isom")}, {".m4a", atom::Type("M4A ")}, {".m4v", atom::Type("M4V ")},
    {".m4b", atom::Type("M4B ")}, {".3gp", atom::Type("3gp4")}, {".3g2", atom::Type("3g2a")},
};

void WriteFileType(AtomWriter& w, uint32_t brand) {
    ScopedAtom a(w, atom::kFtyp);
    if (brand == 0) {
        w.U32(atom::kQt);
        w.U32(0x20050300);
        w.U32(atom::kQt);
        return;
    }
    w.U32(brand);
    w.U32(0);
    for (const uint32_t compatible : {brand, atom::Type("mp42"), atom::Type("isom")}) {
        w.U32(compatible);
    }
}

void WriteMovieHeader(AtomWriter& w, const Movie& m, uint64_t duration) {
    const bool wide = duration > UINT32_MAX || m.created > UINT32_MAX || m.modified > UINT32_MAX;
    ScopedAtom a(w, atom::kMvhd, wide ? 1 : 0, 0);
    if (wide) {
        w.U64(m.created);
        w.U64(m.modified);
        w.U32(m.timescale);
        w.U64(duration);
    } else {
        w.U32(static_cast<uint32_t>(m.created));
        w.U32(static_cast<uint32_t>(m.modified));
        w.U32(m.timescale);
        w.U32(static_cast<uint32_t>(duration));
    }
    w.U32(static_cast<uint32_t>(m.rate));
    w.U16(m.volume);
    w.Zeros(10);
    w.Put(m.matrix);
    w.Zeros(24);  // preview, poster, selection and current time
    w.U32(m.nextTrackId);
}

void WriteTrackHeader(AtomWriter& w, const Track& t, uint64_t duration) {
    const bool wide = duration > UINT32_MAX || t.created > UINT32_MAX || t.modified > UINT32_MAX;
    ScopedAtom a(w, atom::kTkhd, wide ? 1 : 0, t.flags);
    if (wide) {
        w.U64(t.created);
        w.U64(t.modified);
    } else {
        w.U32(static_cast<uint32_t>(t.created));
        w.U32(static_cast<uint32_t>(t.modified));
    }
    w.U32(t.id);
    w.U32(0);
    if (wide) {
        w.U64(duration);
    } else {
        w.U32(static_cast<uint32_t>(duration));
    }
    w.Zeros(8);
    w.U16(static_cast<uint16_t>(t.layer));
    w.U16(static_cast<uint16_t>(t.alternateGroup));
    w.U16(t.volume);
    w.U16(0);
    w.Put(t.matrix);
    w.U32(t.width);
    w.U32(t.height);
}

void WriteEdits(AtomWriter& w, const Track& t) {
    if (!t.hasEdits) {
        return;
    }
    bool wide = false;
    for (const Edit& e : t.edits) {
        wide = wide || e.duration > UINT32_MAX || e.mediaTime > INT32_MAX ||
               e.mediaTime < INT32_MIN;
    }
    ScopedAtom edts(w, atom::kEdts);
    ScopedAtom elst(w, atom::kElst, wide ? 1 : 0, 0);
    w.U32(static_cast<uint32_t>(t.edits.size()));
    for (const Edit& e : t.edits) {
        if (wide) {
            w.U64(e.duration);
            w.U64(static_cast<uint64_t>(e.mediaTime));
        } else {
            w.U32(static_cast<uint32_t>(e.duration));
            w.U32(static_cast<uint32_t>(static_cast<int32_t>(e.mediaTime)));
        }
        w.U32(static_cast<uint32_t>(e.rate));
    }
}

void WriteReferences(AtomWriter& w, const Track& t) {
    if (t.references.empty()) {
        return;
    }
    ScopedAtom tref(w, atom::kTref);
    for (const TrackReference& r : t.references) {
        ScopedAtom a(w, r.type);
        for (uint32_t id : r.ids) {
            w.U32(id);
        }
    }
}

void WriteMediaHeader(AtomWriter& w, const Track& t) {
    const uint64_t duration = t.MediaDuration();
    const bool wide = duration > UINT32_MAX || t.mediaCreated > UINT32_MAX ||
                      t.mediaModified > UINT32_MAX;
    ScopedAtom a(w, atom::kMdhd, wide ? 1 : 0, 0);
    if (wide) {
        w.U64(t.mediaCreated);
        w.U64(t.mediaModified);
        w.U32(t.timescale);
        w.U64(duration);
    } else {
        w.U32(static_cast<uint32_t>(t.mediaCreated));
        w.U32(static_cast<uint32_t>(t.mediaModified));
        w.U32(t.timescale);
        w.U32(static_cast<uint32_t>(duration));
    }
    w.U16(t.language);
    w.U16(t.quality);
}

// The media's own file as its only data reference: an alias when the data
// handler names aliases (QuickTime's pairing), else a URL.
void WriteDataInfo(AtomWriter& w, const Track& t) {
    bool alias = false;
    if (t.dataHandler.size() >= 20) {
        alias = bytes::GetBE32(t.dataHandler.data() + 16) == atom::kAlis;
    }
    ScopedAtom dinf(w, atom::kDinf);
    ScopedAtom dref(w, atom::kDref, 0, 0);
    w.U32(1);
    ScopedAtom self(w, alias ? atom::kAlis : atom::kUrl, 0, 1);
}

void WriteTrack(AtomWriter& w, const Movie& m, const Track& t,
                const std::vector<const Chunk*>& chunks, const FlattenLimits& limits) {
    ScopedAtom trak(w, atom::kTrak);
    WriteTrackHeader(w, t, t.MovieDuration(m.timescale));
    WriteEdits(w, t);
    WriteReferences(w, t);
    {
        ScopedAtom mdia(w, atom::kMdia);
        WriteMediaHeader(w, t);
        w.Put(t.mediaHandler);
        ScopedAtom minf(w, atom::kMinf);
        if (t.mediaHeader.empty()) {
            ScopedAtom nmhd(w, atom::kNmhd, 0, 0);
        } else {
            w.Put(t.mediaHeader);
        }
        w.Put(t.dataHandler);
        WriteDataInfo(w, t);
        WriteSampleTable(w, t, chunks, limits.wideOffsets);
    }
    for (const RawAtom& a : t.extras) {
        w.Put(a.bytes);
    }
}

}  // namespace

bool ShownPastMovieEnd(int64_t shown, uint32_t mediaScale, uint64_t movieEnd, uint32_t movieScale) {
    return shown >= 0 && static_cast<unsigned __int128>(shown) * movieScale >=
                             static_cast<unsigned __int128>(movieEnd) * mediaScale;
}

uint32_t BrandForName(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.find_first_of("/\\", dot) != std::string_view::npos) {
        return 0;
    }
    std::string ext(name.substr(dot));
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const NamedBrand& b : kNamedBrands) {
        if (b.extension == ext) {
            return b.brand;
        }
    }
    return 0;
}

MovResult FlattenMovie(const Movie& movie, IoFile& out, const FlattenLimits& limits,
                       std::string_view name) {
    std::vector<Chunk> chunks = PlanChunks(movie, limits);
    const std::vector<Chunk*> order = InterleaveByTime(movie, chunks);

    AtomWriter head;
    WriteFileType(head, movie.saveBrand != 0 ? movie.saveBrand : BrandForName(name));
    {
        ScopedAtom wide(head, atom::kWide);
    }
    const uint64_t widePos = head.Bytes().size() - 8;
    const uint64_t mdatPos = head.Bytes().size();
    head.U32(0);
    head.U32(atom::kMdat);

    BufferedWriter writer(out);
    if (!writer.Write(head.Bytes().data(), head.Bytes().size())) {
        return kDataNotOpenForWrite;
    }
    std::vector<uint8_t> buffer;
    uint64_t total = 0;
    for (const Chunk* c : order) {
        const Track& t = movie.tracks[c->track];
        for (size_t i = c->first; i < c->first + c->count; ++i) {
            total += t.samples[i].size;
        }
    }
    for (Chunk* c : order) {
        c->offset = writer.Position();
        if (const MovResult rc = CopyChunk(movie, *c, writer, buffer, limits); rc != kNoErr) {
            return rc;
        }
        if (limits.progress && !limits.progress(writer.Position() - mdatPos - 8, total)) {
            return kProgressProcAborted;
        }
    }
    // The media data's size; past 32 bits the 'wide' atom before it becomes
    // the first half of a 64-bit header, so no offset moves.
    const uint64_t mdatSize = writer.Position() - mdatPos;
    uint8_t header[16];
    if (mdatSize <= limits.wideMediaData) {
        bytes::PutBE32(header, static_cast<uint32_t>(mdatSize));
        writer.Patch(mdatPos, header, 4);
    } else {
        bytes::PutBE32(header, 1);
        bytes::PutBE32(header + 4, atom::kMdat);
        bytes::PutBE64(header + 8, mdatSize + 8);
        writer.Patch(widePos, header, 16);
    }

    std::vector<std::vector<const Chunk*>> perTrack(movie.tracks.size());
    for (const Chunk& c : chunks) {
        perTrack[c.track].push_back(&c);
    }
    AtomWriter moov;
    {
        ScopedAtom a(moov, atom::kMoov);
        WriteMovieHeader(moov, movie, movie.Duration());
        for (size_t i = 0; i < movie.tracks.size(); ++i) {
            WriteTrack(moov, movie, movie.tracks[i], perTrack[i], limits);
        }
        for (const RawAtom& extra : movie.extras) {
            moov.Put(extra.bytes);
        }
    }
    if (!writer.Write(moov.Bytes().data(), moov.Bytes().size()) || !writer.Flush()) {
        return kDataNotOpenForWrite;
    }
    return writer.Ok() ? kNoErr : kDataNotOpenForWrite;
}

}  // namespace trelvan::mov
