#include "EntryJoin.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "Atoms.h"
#include "EditList.h"

namespace trelvan::mov {
namespace {

// Whole packets a join leaves out at either side: priming and a last
// packet's padding are one or two; more would be sound of the entry itself.
constexpr size_t kMaxPackets = 8;
// The largest gap closed in the media, media time units (a sample's
// duration is 32 bits; half of that keeps clear of it).
constexpr double kMaxGap = static_cast<double>(INT32_MAX);

}  // namespace

std::vector<Edit> PresentedEdits(const Track& t, uint32_t movieScale) {
    if (t.hasEdits || t.samples.empty()) {
        return ExplicitEdits(t, movieScale);
    }
    int64_t dts = 0;
    int64_t first = INT64_MAX;
    for (const Sample& s : t.samples) {
        first = std::min(first, dts + s.cts);
        dts += s.duration;
    }
    const uint64_t lead =
        first > 0 ? Rescale(static_cast<uint64_t>(first), t.timescale, movieScale) : 0;
    const uint64_t total = Rescale(t.PresentationEnd(), t.timescale, movieScale);
    if (lead == 0 || total <= lead) {
        return ExplicitEdits(t, movieScale);
    }
    return {Edit{lead, -1, 0x10000}, Edit{total - lead, first, 0x10000}};
}

TrackJoin PlanTrackJoin(const Track& a, const std::vector<Edit>& aEdits, uint32_t movieScale,
                        const EntryTrack& entry, double start, uint32_t silenceDuration) {
    TrackJoin j;
    const Track* b = entry.track;
    if (b == nullptr || aEdits.empty() || entry.edits.empty() || a.samples.empty() ||
        b->samples.empty() || movieScale == 0 || entry.movieScale == 0 || a.timescale == 0) {
        return j;
    }
    const Edit& last = aEdits.back();
    if (last.mediaTime < 0 || last.rate != 0x10000) {
        return j;
    }
    // The entry's track: leading empty time, then one edit at normal rate.
    size_t k = 0;
    double lead = 0;
    while (k < entry.edits.size() && entry.edits[k].mediaTime < 0) {
        lead += static_cast<double>(entry.edits[k].duration);
        ++k;
    }
    if (k + 1 != entry.edits.size() || entry.edits[k].rate != 0x10000) {
        return j;
    }
    const Edit& own = entry.edits[k];
    const double perUnit = static_cast<double>(a.timescale) / movieScale;
    const double entryUnits = static_cast<double>(movieScale) / entry.movieScale;
    const double lastStart = static_cast<double>(EditsDuration(aEdits) - last.duration);
    // Where the track's presentation ends, in its media.
    const double presentedEnd =
        static_cast<double>(last.mediaTime) + static_cast<double>(last.duration) * perUnit;
    const bool sound = a.handler == atom::kSoun;
    const std::vector<Sample>& s = a.samples;
    const auto tail = [&] { return static_cast<double>(s[s.size() - 1 - j.dropTail].duration); };
    double mediaEnd = static_cast<double>(a.MediaDuration());
    if (sound) {
        // Sound that starts at or after the end of what the track plays was
        // never heard (however much a trimmed tail holds).
        while (j.dropTail + 1 < s.size() && mediaEnd - tail() >= presentedEnd - 0.5) {
            mediaEnd -= tail();
            ++j.dropTail;
        }
    }
    // How far the entry's media lies from the track's media end when its
    // presentation starts at `start` + its lead (media time units; positive:
    // a gap).
    double gap = static_cast<double>(last.mediaTime) + (start - lastStart) * perUnit +
                 lead * entryUnits * perUnit - static_cast<double>(own.mediaTime) - mediaEnd;
    if (sound && !a.frameRuns) {
        // A first packet stored stretched (its table time longer than the
        // packets after it: priming, as some writers of fragments store
        // it) would leave a gap in the middle of the sound that decoders
        // do not hear: it is left out, and its time closed like any gap.
        double skipped = 0;
        const double usual = b->samples[b->samples.size() / 2].duration;
        if (b->samples.size() > 2 && b->samples[0].duration > usual * 1.5) {
            skipped = b->samples[0].duration;
            gap += skipped;
            j.skipHead = 1;
        }
        // The entry's leading packets that its edit skipped (priming), as
        // far as that brings the entry nearer its place.
        while (j.skipHead + 1 < b->samples.size() && j.skipHead < kMaxPackets) {
            const double d = b->samples[j.skipHead].duration;
            if (skipped + d > static_cast<double>(own.mediaTime) + 0.5 ||
                std::abs(gap + d) >= std::abs(gap)) {
                break;
            }
            skipped += d;
            gap += d;
            ++j.skipHead;
        }
        // The track's own last packets where they run into the entry.
        const size_t unheard = j.dropTail;
        while (gap < 0 && j.dropTail + 1 < s.size() && j.dropTail < unheard + kMaxPackets &&
               std::abs(gap + tail()) < std::abs(gap)) {
            gap += tail();
            ++j.dropTail;
        }
    }
    if (!sound && gap <= -1) {
        // The media cannot go back: the entry begins later.
        j.lateBy = -gap / perUnit;
        gap = 0;
    }
    if (a.handler == atom::kVide && gap >= 0.5) {
        // Video of one frame rate keeps it: the last frame lasts whole
        // frames longer, and the entry begins later by the rest of a frame
        // (its sound follows it), so that readers that take the frame rate
        // for granted find every frame in its place.
        const double usual = s[s.size() / 2].duration;
        if (s.size() > 3 && s[s.size() - 2].duration == usual && s[1].duration == usual) {
            const double whole = std::ceil(gap / usual - 0.01) * usual;
            j.lateBy = std::max(0.0, (whole - gap) / perUnit);
            gap = whole;
        }
    }
    // A gap or a move beyond what a sample's duration holds (a damaged
    // movie's times) is left to edits.
    if (std::abs(gap) > kMaxGap || j.lateBy * perUnit > kMaxGap) {
        return j;
    }
    if (gap >= 0.5) {
        if (sound && silenceDuration > 0) {
            j.silencePackets = static_cast<uint64_t>(std::llround(gap / silenceDuration));
            j.fill = j.silencePackets * silenceDuration;
        } else if (sound && a.frameRuns) {
            return j;  // frame tables cannot take a longer run
        } else {
            j.fill = static_cast<uint64_t>(std::llround(gap));
        }
    }
    const double end = start + (lead + static_cast<double>(own.duration)) * entryUnits;
    j.lastEditDuration = static_cast<uint64_t>(std::max<int64_t>(std::llround(end - lastStart), 0));
    j.single = true;
    return j;
}

}  // namespace trelvan::mov
