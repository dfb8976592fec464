#include "MovieRange.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>

#include "Atoms.h"
#include "EditList.h"
#include "SoundLayout.h"
#include "SoundPreroll.h"

namespace trelvan::mov {
namespace {

constexpr int32_t kNormalRate = 0x10000;

// Where each sample of a track is decoded: dts[i] for sample i, dts[n] the
// end of the media (media time units).
std::vector<uint64_t> DecodeTimes(const Track& t) {
    std::vector<uint64_t> dts(t.samples.size() + 1, 0);
    for (size_t i = 0; i < t.samples.size(); ++i) {
        dts[i + 1] = dts[i] + t.samples[i].duration;
    }
    return dts;
}

int64_t ShownAt(const Track& t, const std::vector<uint64_t>& dts, size_t i) {
    return static_cast<int64_t>(dts[i]) + t.samples[i].cts;
}

// The media time an edit plays through, rounded up (a dwell, rate 0, shows
// one instant).
int64_t MediaSpan(const Edit& e, uint32_t movieScale, uint32_t mediaScale) {
    const auto rate = static_cast<unsigned __int128>(e.rate == 0 ? 0 : kNormalRate);
    const unsigned __int128 units = static_cast<unsigned __int128>(e.duration) * mediaScale * rate;
    const unsigned __int128 per = static_cast<unsigned __int128>(movieScale) * kNormalRate;
    const unsigned __int128 span = per == 0 ? 0 : (units + per - 1) / per;
    return static_cast<int64_t>(std::clamp<unsigned __int128>(span, 1, INT64_MAX / 2));
}

// Where movie time `at` falls in a list of edits.
struct EditPoint {
    size_t index = SIZE_MAX;  // SIZE_MAX: past the list's end
    uint64_t editStart = 0;   // movie time at which that edit starts
    int64_t media = -1;       // media time shown at `at`; -1 in an empty edit
};

EditPoint PointAt(const std::vector<Edit>& edits, uint64_t at, uint32_t movieScale,
                  uint32_t mediaScale) {
    EditPoint p;
    uint64_t t = 0;
    for (size_t i = 0; i < edits.size(); ++i) {
        const Edit& e = edits[i];
        if (at < t + e.duration) {
            p.index = i;
            p.editStart = t;
            if (e.mediaTime >= 0) {
                const uint64_t into = e.rate == 0 ? 0 : Rescale(at - t, movieScale, mediaScale);
                p.media = e.mediaTime + static_cast<int64_t>(into);
            }
            return p;
        }
        t += e.duration;
    }
    return p;
}

// The range's start moved onto a frame of the leading video track.
struct FrameStart {
    bool moved = false;
    uint64_t start = 0;        // movie time of the first presented frame
    int64_t media = 0;         // its media time (presentation)
    uint64_t firstStored = 0;  // movie time at which the sync sample is shown
};

// The last sync sample at or before sample `i` in decode order (0 when
// there is none: the track then decodes from its first sample).
size_t SyncAtOrBefore(const Track& t, size_t i) {
    for (size_t k = i + 1; k-- > 0;) {
        if (t.samples[k].flags & kSampleSync) {
            return k;
        }
    }
    return 0;
}

// `exact`/`scale`: the start as asked, finer than the movie's units (which
// `start` is, rounded down); the first frame is the one shown at or after it.
FrameStart StartOnFrame(const Movie& m, const Track& t, uint64_t start, uint64_t end,
                        bool keyframeStart, uint64_t exact, uint32_t scale) {
    FrameStart f;
    f.start = start;
    f.firstStored = start;
    const std::vector<Edit> edits = ExplicitEdits(t, m.timescale);
    EditPoint at = PointAt(edits, start, m.timescale, t.timescale);
    if (at.index == SIZE_MAX || at.media < 0 || edits[at.index].rate != kNormalRate) {
        return f;  // the video shows nothing (or a still) at the start
    }
    const Edit& e = edits[at.index];
    if (scale != m.timescale && scale != 0) {
        using U = unsigned __int128;
        const U into = U{exact} * m.timescale - U{at.editStart} * scale;
        const U per = U{scale} * m.timescale;
        at.media = e.mediaTime + static_cast<int64_t>((into * t.timescale + per - 1) / per);
    }
    const uint64_t until = std::min(end, at.editStart + e.duration);
    const int64_t hi = std::min(e.mediaTime + MediaSpan(e, m.timescale, t.timescale),
                                at.media + static_cast<int64_t>(
                                               Rescale(until - start, m.timescale, t.timescale)));
    const std::vector<uint64_t> dts = DecodeTimes(t);
    std::optional<int64_t> first;
    for (size_t i = 0; i < t.samples.size(); ++i) {
        const int64_t shown = ShownAt(t, dts, i);
        if (shown >= at.media && shown < hi && (!first || shown < *first)) {
            first = shown;
        }
    }
    if (!first) {
        return f;
    }
    // Frames shown later may be decoded earlier (the references of B-frames).
    size_t lowest = t.samples.size();
    for (size_t i = 0; i < t.samples.size() && i < lowest; ++i) {
        const int64_t shown = ShownAt(t, dts, i);
        if (shown >= *first && shown < hi) {
            lowest = i;
        }
    }
    const size_t sync = SyncAtOrBefore(t, lowest);
    const int64_t syncShown = ShownAt(t, dts, sync);
    const auto movieTimeOf = [&](int64_t media) {
        return at.editStart + Rescale(static_cast<uint64_t>(media - e.mediaTime), t.timescale,
                                      m.timescale);
    };
    f.media = *first;
    if (keyframeStart && syncShown < *first) {
        f.media = std::max(syncShown, e.mediaTime);
    }
    f.moved = true;
    f.start = movieTimeOf(f.media);
    f.firstStored = syncShown >= e.mediaTime ? movieTimeOf(syncShown) : at.editStart;
    return f;
}

// Frames of a frame-run entry, as its table counts them, turned into bytes
// and back into whole packets.
struct RunLayout {
    FramePacking packing;
    uint32_t tableSize = 1;
    uint32_t granule = 1;  // frames of one packet: a run is cut only between packets

    explicit RunLayout(const Track& t, const Sample& s) : tableSize(t.frameTableSize) {
        if (s.desc >= 1 && s.desc <= t.descriptions.size()) {
            packing = FramePackingOf(t.descriptions[s.desc - 1]);
        }
        if (packing.bytesPerPacket != 0) {
            granule = std::max<uint32_t>(packing.framesPerPacket, 1);
        }
    }
    uint64_t Bytes(uint64_t frames) const { return FrameBytes(packing, frames, tableSize); }
};

// Frames [from, to) of the run `s` (whose frames each last `each`).
Sample CutRun(const Track& t, const Sample& s, uint32_t from, uint32_t to) {
    const RunLayout layout(t, s);
    const uint32_t each = s.count == 0 ? 0 : s.duration / s.count;
    const uint64_t skipBytes = std::min<uint64_t>(layout.Bytes(from), s.size);
    const uint64_t endBytes = to >= s.count ? s.size : std::min<uint64_t>(layout.Bytes(to), s.size);
    Sample cut = s;
    cut.offset = s.offset + skipBytes;
    cut.size = static_cast<uint32_t>(endBytes - skipBytes);
    cut.count = to - from;
    cut.duration = to >= s.count ? s.duration - each * from : each * (to - from);
    return cut;
}

// The kept samples of one track and the decode time of the first of them.
struct Kept {
    size_t first = 0;
    size_t last = 0;  // inclusive
    uint32_t headFrom = 0;           // frame runs: frames left out of the first entry
    uint32_t tailTo = UINT32_MAX;    // frame runs: frames kept of the last entry
    uint64_t base = 0;
};

// Video: from the sync sample that the frames shown in [lo, hi) decode
// from, through the last of them in decode order.
std::optional<Kept> KeepVideo(const Track& t, const std::vector<uint64_t>& dts, int64_t lo,
                              int64_t hi) {
    // The frame on screen at `lo` (shown at or before it) and those shown
    // from there to `hi`.
    std::optional<int64_t> onScreen;
    for (size_t i = 0; i < t.samples.size(); ++i) {
        const int64_t shown = ShownAt(t, dts, i);
        if (shown <= lo && (!onScreen || shown > *onScreen)) {
            onScreen = shown;
        }
    }
    const int64_t from = onScreen.value_or(lo);
    size_t lowest = SIZE_MAX, highest = 0;
    for (size_t i = 0; i < t.samples.size(); ++i) {
        const int64_t shown = ShownAt(t, dts, i);
        if (shown >= from && shown < hi) {
            lowest = std::min(lowest, i);
            highest = std::max(highest, i);
        }
    }
    if (lowest == SIZE_MAX) {
        return std::nullopt;
    }
    Kept k;
    k.first = SyncAtOrBefore(t, lowest);
    k.last = highest;
    k.base = dts[k.first];
    return k;
}

// Sound and other media: the samples decoded across [lo, hi); compressed
// sound from its codec's pre-roll before them, frame runs cut to the frames.
std::optional<Kept> KeepByDecodeTime(const Movie& m, const Track& t,
                                     const std::vector<uint64_t>& dts, int64_t lo, int64_t hi) {
    const auto ulo = static_cast<uint64_t>(lo), uhi = static_cast<uint64_t>(hi);
    size_t first = SIZE_MAX, last = 0;
    for (size_t i = 0; i < t.samples.size(); ++i) {
        if (dts[i] < uhi && dts[i + 1] > ulo) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first == SIZE_MAX) {
        if (t.handler == atom::kSoun) {
            return std::nullopt;
        }
        // A text or timecode sample of no duration at the start still shows.
        for (size_t i = t.samples.size(); i-- > 0;) {
            if (dts[i] <= ulo) {
                first = last = i;
                break;
            }
        }
        if (first == SIZE_MAX) {
            return std::nullopt;
        }
    }
    Kept k;
    k.first = first;
    k.last = last;
    k.base = dts[first];
    if (t.handler == atom::kSoun && t.frameRuns) {
        const Sample& head = t.samples[first];
        const uint32_t each = head.count == 0 ? 0 : head.duration / head.count;
        if (each != 0 && ulo > dts[first]) {
            const uint32_t g = RunLayout(t, head).granule;
            const uint64_t frames = (ulo - dts[first]) / each / g * g;
            k.headFrom = static_cast<uint32_t>(std::min<uint64_t>(frames, head.count));
            k.base += uint64_t{k.headFrom} * each;
        }
        const Sample& tail = t.samples[last];
        const uint32_t tailEach = tail.count == 0 ? 0 : tail.duration / tail.count;
        if (tailEach != 0 && uhi < dts[last + 1]) {
            const uint32_t g = RunLayout(t, tail).granule;
            const uint64_t frames = ((uhi - dts[last] + tailEach - 1) / tailEach + g - 1) / g * g;
            k.tailTo = static_cast<uint32_t>(std::min<uint64_t>(frames, tail.count));
        }
    } else if (t.handler == atom::kSoun) {
        k.first = first - PrerollPackets(m, t, first);
        k.base = dts[k.first];
    }
    return k;
}

// A media time scale in which a frame lasts few units (30 a second for 30
// frames a second) leaves a lead-in nothing to give up: its units are made
// finer by a whole factor, so that a frame lasts about 1000 of them; sample
// durations, composition offsets and edit media times follow exactly.
void RefineTimeScale(Track& t, uint32_t frame) {
    constexpr uint64_t kUnitsPerFrame = 1000;
    if (frame == 0 || frame >= kUnitsPerFrame) {
        return;
    }
    const uint64_t k = (kUnitsPerFrame + frame - 1) / frame;
    int64_t widest = 0;
    for (const Sample& s : t.samples) {
        widest = std::max({widest, static_cast<int64_t>(s.duration), std::abs(int64_t{s.cts})});
    }
    if (uint64_t{t.timescale} * k > UINT32_MAX || static_cast<uint64_t>(widest) * k > INT32_MAX ||
        t.MediaDuration() * k > INT64_MAX / 2) {
        return;
    }
    t.timescale = static_cast<uint32_t>(t.timescale * k);
    for (Sample& s : t.samples) {
        s.duration = static_cast<uint32_t>(s.duration * k);
        s.cts = static_cast<int32_t>(s.cts * static_cast<int64_t>(k));
    }
    for (Edit& e : t.edits) {
        if (e.mediaTime >= 0) {
            e.mediaTime *= static_cast<int64_t>(k);
        }
    }
}

// Video stored from a sync sample before its first shown frame: the
// lead-in samples (decoded, never shown) are decoded one unit apart and
// shown when decoded, the last of them a frame's time before the first
// shown frame (decoders give a frame the rate's duration and present what
// overlaps the start); the rest of the track moves down by what they gave
// up, edits included, keeping its times relative to one another and its
// composition offsets. So the media time of what the track shows starts
// near 0, as in a movie that begins there: GStreamer's demuxer ends a track
// at the first sync sample whose stored time lies at or past the movie's
// duration, which a long lead-in pushes the range's last frames to.
void ShortenLeadIn(Track& t) {
    const auto shown = std::find_if(t.edits.begin(), t.edits.end(),
                                    [](const Edit& e) { return e.mediaTime >= 0; });
    if (shown == t.edits.end()) {
        return;
    }
    std::vector<uint64_t> dts = DecodeTimes(t);
    size_t leadEnd = 0;  // one past the last lead-in sample in decode order
    for (size_t i = 0; i < t.samples.size(); ++i) {
        if (ShownAt(t, dts, i) < shown->mediaTime) {
            leadEnd = i + 1;
        }
    }
    if (leadEnd == 0 || leadEnd >= t.samples.size()) {
        return;
    }
    RefineTimeScale(t, t.samples[leadEnd - 1].duration);
    dts = DecodeTimes(t);
    const int64_t from = shown->mediaTime;  // the first shown frame
    // The first shown frame comes `gap` after the next sample's decode time
    // and now at `first`; samples from `leadEnd` on move down by `shift`.
    const auto lead = static_cast<int64_t>(leadEnd);
    const int64_t gap = from - static_cast<int64_t>(dts[leadEnd]);
    const int64_t frame = t.samples[leadEnd - 1].duration;
    const int64_t first = std::max(gap + lead, lead - 1 + frame);
    const int64_t shift = from - first;
    if (gap < 0 || shift <= 0) {
        return;  // nothing to gain, or a lead-in would be shown past the start
    }
    for (size_t i = 0; i < leadEnd; ++i) {
        Sample& s = t.samples[i];
        const int64_t shownAt = ShownAt(t, dts, i);
        const auto at = static_cast<int64_t>(i);
        s.cts = shownAt < from ? 0 : static_cast<int32_t>(shownAt - shift - at);
        s.duration = i + 1 < leadEnd ? 1 : static_cast<uint32_t>(dts[leadEnd] - shift - at);
    }
    for (Edit& e : t.edits) {
        if (e.mediaTime >= 0) {
            e.mediaTime -= shift;
        }
    }
}

// The media time range [lo, hi) that `edits` play (lo INT64_MAX: none).
std::pair<int64_t, int64_t> MediaPlayed(const std::vector<Edit>& edits, uint32_t movieScale,
                                        uint32_t mediaScale) {
    int64_t lo = INT64_MAX, hi = 0;
    for (const Edit& e : edits) {
        if (e.mediaTime >= 0 && e.duration > 0) {
            lo = std::min(lo, e.mediaTime);
            hi = std::max(hi, e.mediaTime + MediaSpan(e, movieScale, mediaScale));
        }
    }
    return {lo, hi};
}

// The part of track `t` that plays movie time [start, end); false when it
// plays nothing there. `firstMedia`: the media time the first edit starts
// at, when the start was moved onto a frame of this track (-1: not moved).
bool TakeTrack(const Movie& m, const Track& t, uint64_t start, uint64_t end, int64_t firstMedia,
               Track& out) {
    if (t.samples.empty() || t.timescale == 0) {
        return false;
    }
    std::vector<Edit> edits =
        TakeEdits(ExplicitEdits(t, m.timescale), start, end - start, m.timescale, t.timescale);
    if (firstMedia >= 0 && !edits.empty() && edits.front().mediaTime >= 0) {
        edits.front().mediaTime = firstMedia;
    }
    const auto [lo, hi] = MediaPlayed(edits, m.timescale, t.timescale);
    if (lo == INT64_MAX) {
        return false;
    }
    const std::vector<uint64_t> dts = DecodeTimes(t);
    const std::optional<Kept> kept =
        t.handler == atom::kVide ? KeepVideo(t, dts, lo, hi) : KeepByDecodeTime(m, t, dts, lo, hi);
    if (!kept) {
        return false;
    }
    for (Edit& e : edits) {
        if (e.mediaTime >= 0) {
            e.mediaTime -= static_cast<int64_t>(kept->base);
        }
    }
    // The track's settings without its sample list, then the kept run.
    out = Track{};
    std::vector<Sample> samples;
    samples.reserve(kept->last - kept->first + 1);
    for (size_t i = kept->first; i <= kept->last; ++i) {
        Sample s = t.samples[i];
        if (t.frameRuns) {
            const uint32_t from = i == kept->first ? kept->headFrom : 0;
            const uint32_t to = i == kept->last ? std::min(kept->tailTo, s.count) : s.count;
            if (from != 0 || to != s.count) {
                if (to <= from) {
                    continue;
                }
                s = CutRun(t, s, from, to);
            }
        }
        samples.push_back(s);
    }
    if (samples.empty()) {
        return false;
    }
    Track& o = out;
    o.id = t.id;
    o.flags = t.flags;
    o.created = t.created;
    o.modified = t.modified;
    o.layer = t.layer;
    o.alternateGroup = t.alternateGroup;
    o.volume = t.volume;
    o.matrix = t.matrix;
    o.width = t.width;
    o.height = t.height;
    o.references = t.references;
    o.extras = t.extras;
    o.timescale = t.timescale;
    o.mediaCreated = t.mediaCreated;
    o.mediaModified = t.mediaModified;
    o.language = t.language;
    o.quality = t.quality;
    o.handler = t.handler;
    o.mediaHandler = t.mediaHandler;
    o.dataHandler = t.dataHandler;
    o.mediaHeader = t.mediaHeader;
    o.descriptions = t.descriptions;
    o.frameRuns = t.frameRuns;
    o.frameTableSize = t.frameTableSize;
    o.samples = std::move(samples);
    o.hasEdits = true;
    o.edits = std::move(edits);
    o.duration = EditsDuration(o.edits);
    if (o.handler == atom::kVide) {
        ShortenLeadIn(o);
    }
    return true;
}

}  // namespace

MovResult ExtractMovieRange(const Movie& source, uint64_t exactStart, uint64_t exactEnd,
                            bool keyframeStart, Movie& out, MovieRangeInfo* info,
                            uint32_t rangeScale) {
    const uint32_t scale = rangeScale == 0 ? source.timescale : rangeScale;
    if (scale == 0) {
        return kInvalidDuration;
    }
    const uint64_t start = static_cast<uint64_t>(
        std::min<unsigned __int128>(static_cast<unsigned __int128>(exactStart) * source.timescale /
                                        scale,
                                    UINT64_MAX));
    uint64_t end = exactEnd == UINT64_MAX ? UINT64_MAX : Rescale(exactEnd, scale, source.timescale);
    end = std::min(end, source.Duration());
    if (start >= end || source.timescale == 0) {
        return kInvalidDuration;
    }
    // The first video track with samples leads: the range starts on one of
    // its frames.
    const auto lead = std::find_if(source.tracks.begin(), source.tracks.end(), [](const Track& t) {
        return t.handler == atom::kVide && !t.samples.empty() && t.timescale != 0;
    });
    FrameStart f;
    f.start = f.firstStored = start;
    if (lead != source.tracks.end()) {
        f = StartOnFrame(source, *lead, start, end, keyframeStart, exactStart, scale);
    }
    if (f.start >= end) {
        return kInvalidDuration;
    }

    out = Movie{};
    out.brand = source.brand;
    out.minorVersion = source.minorVersion;
    out.compatibleBrands = source.compatibleBrands;
    out.timescale = source.timescale;
    out.created = source.created;
    out.modified = source.modified;
    out.rate = source.rate;
    out.volume = source.volume;
    out.matrix = source.matrix;
    out.nextTrackId = source.nextTrackId;
    out.extras = source.extras;
    out.sources = source.sources;
    for (auto it = source.tracks.begin(); it != source.tracks.end(); ++it) {
        Track taken;
        const int64_t firstMedia = it == lead && f.moved ? f.media : -1;
        if (TakeTrack(source, *it, f.start, end, firstMedia, taken)) {
            out.tracks.push_back(std::move(taken));
        }
    }
    if (out.tracks.empty()) {
        return kInvalidDuration;
    }
    // References to tracks that play nothing in the range go.
    std::set<uint32_t> ids;
    for (const Track& t : out.tracks) {
        ids.insert(t.id);
    }
    for (Track& t : out.tracks) {
        for (TrackReference& r : t.references) {
            std::erase_if(r.ids, [&ids](uint32_t id) { return ids.count(id) == 0; });
        }
        std::erase_if(t.references, [](const TrackReference& r) { return r.ids.empty(); });
    }
    if (info != nullptr) {
        info->hasVideo = lead != source.tracks.end();
        info->firstStored = f.firstStored;
        info->firstPresented = f.start;
        info->end = end;
    }
    return kNoErr;
}

}  // namespace trelvan::mov
