#include "EditList.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "SoundLayout.h"

namespace trelvan::mov {
namespace {

// Index of the first edit starting at or after `at` (after SplitEditsAt,
// one starts exactly there unless the list ends there).
size_t IndexAt(const std::vector<Edit>& edits, uint64_t at) {
    uint64_t t = 0;
    size_t i = 0;
    while (i < edits.size() && t < at) {
        t += edits[i].duration;
        ++i;
    }
    return i;
}

}  // namespace

std::vector<Edit> ExplicitEdits(const Track& track, uint32_t movieScale) {
    if (track.hasEdits) {
        return track.edits;
    }
    // Up to the end of the last sample shown: B-frame video shows its last
    // frames after the decode times end.
    const uint64_t duration = Rescale(track.PresentationEnd(), track.timescale, movieScale);
    if (duration == 0) {
        return {};
    }
    return {Edit{duration, 0, 0x10000}};
}

uint64_t EditsDuration(const std::vector<Edit>& edits) {
    uint64_t sum = 0;
    for (const Edit& e : edits) {
        sum += e.duration;
    }
    return sum;
}

void SplitEditsAt(std::vector<Edit>& edits, uint64_t at, uint32_t movieScale,
                  uint32_t mediaScale) {
    uint64_t t = 0;
    for (size_t i = 0; i < edits.size(); ++i) {
        const Edit e = edits[i];
        if (at == t) {
            return;
        }
        if (at < t + e.duration) {
            const uint64_t head = at - t;
            Edit tail = e;
            tail.duration = e.duration - head;
            if (e.mediaTime >= 0) {
                const uint64_t skipped = Rescale(head, movieScale, mediaScale);
                const auto rate = static_cast<uint64_t>(std::max(e.rate, 0));
                tail.mediaTime = e.mediaTime + static_cast<int64_t>(
                    rate == 0x10000 ? skipped
                                    : static_cast<uint64_t>(static_cast<unsigned __int128>(skipped) *
                                                            rate / 0x10000));
            }
            edits[i].duration = head;
            edits.insert(edits.begin() + static_cast<std::ptrdiff_t>(i) + 1, tail);
            return;
        }
        t += e.duration;
    }
    if (at > t) {
        edits.push_back(Edit{at - t, -1, 0x10000});
    }
}

std::vector<Edit> TakeEdits(std::vector<Edit> edits, uint64_t start, uint64_t duration,
                            uint32_t movieScale, uint32_t mediaScale) {
    const uint64_t total = EditsDuration(edits);
    if (start >= total || duration == 0) {
        return {};
    }
    const uint64_t end = std::min(total, start + duration);
    SplitEditsAt(edits, start, movieScale, mediaScale);
    SplitEditsAt(edits, end, movieScale, mediaScale);
    const size_t from = IndexAt(edits, start);
    const size_t to = IndexAt(edits, end);
    return {edits.begin() + static_cast<std::ptrdiff_t>(from),
            edits.begin() + static_cast<std::ptrdiff_t>(to)};
}

void RemoveEdits(std::vector<Edit>& edits, uint64_t start, uint64_t duration,
                 uint32_t movieScale, uint32_t mediaScale) {
    const uint64_t total = EditsDuration(edits);
    if (start >= total || duration == 0) {
        return;
    }
    const uint64_t end = std::min(total, start + duration);
    SplitEditsAt(edits, start, movieScale, mediaScale);
    SplitEditsAt(edits, end, movieScale, mediaScale);
    const size_t from = IndexAt(edits, start);
    const size_t to = IndexAt(edits, end);
    edits.erase(edits.begin() + static_cast<std::ptrdiff_t>(from),
                edits.begin() + static_cast<std::ptrdiff_t>(to));
    TrimEdits(edits);
}

void InsertEdits(std::vector<Edit>& edits, uint64_t at, const std::vector<Edit>& inserted,
                 uint32_t movieScale, uint32_t mediaScale) {
    SplitEditsAt(edits, at, movieScale, mediaScale);
    const size_t i = IndexAt(edits, at);
    edits.insert(edits.begin() + static_cast<std::ptrdiff_t>(i), inserted.begin(), inserted.end());
    TrimEdits(edits);
}

void ClampEditsToMedia(std::vector<Edit>& edits, uint64_t mediaEnd, uint32_t movieScale,
                       uint32_t mediaScale) {
    if (movieScale == 0 || mediaScale == 0) {
        return;
    }
    for (Edit& e : edits) {
        if (e.mediaTime < 0 || e.rate != 0x10000) {
            continue;
        }
        const auto start = static_cast<uint64_t>(e.mediaTime);
        const unsigned __int128 end =
            start + static_cast<unsigned __int128>(e.duration) * mediaScale / movieScale;
        if (end <= mediaEnd) {
            continue;
        }
        const uint64_t left = mediaEnd > start ? mediaEnd - start : 0;
        e.duration = static_cast<uint64_t>(static_cast<unsigned __int128>(left) * movieScale /
                                           mediaScale);
    }
    TrimEdits(edits);
}

JoinPlan PlanJoin(const std::vector<Edit>& edits, uint64_t at, uint64_t mediaBase,
                  const std::vector<Edit>& inserted, const Track& appended, bool sound,
                  uint32_t movieScale, uint32_t mediaScale) {
    JoinPlan plan;
    const uint64_t end = EditsDuration(edits);
    if (edits.empty() || inserted.empty() || appended.samples.empty() || at < end ||
        movieScale == 0 || mediaScale == 0) {
        return plan;
    }
    const Edit& last = edits.back();
    const Edit& first = inserted.front();
    if (last.mediaTime < 0 || first.mediaTime < 0 || last.rate != 0x10000 ||
        first.rate != 0x10000) {
        return plan;
    }
    const double perUnit = static_cast<double>(mediaScale) / movieScale;
    // A sample's duration at the join (some writers give the first none); an
    // entry that is a run of frames counts one packet of them.
    const auto each = [&](const Sample& s) {
        uint32_t perPacket = 1;
        if (appended.frameRuns && s.desc >= 1 && s.desc <= appended.descriptions.size()) {
            perPacket = std::max<uint32_t>(
                FramePackingOf(appended.descriptions[s.desc - 1]).framesPerPacket, 1);
        }
        return static_cast<double>(s.duration) * perPacket / std::max<uint32_t>(s.count, 1);
    };
    double sample = each(appended.samples.front());
    if (appended.samples.size() > 1) {
        sample = std::max(sample, each(appended.samples[1]));
    }
    // Empty time before `at` of less than a sample is played as media.
    const double gap = static_cast<double>(at - end) * perUnit;
    if (gap > std::max(sample, perUnit)) {
        return plan;
    }
    // Where the last edit, played on, is at `at`, relative to the appended
    // media's start.
    const double reach = static_cast<double>(last.mediaTime) +
                         static_cast<double>(last.duration) * perUnit + gap -
                         static_cast<double>(mediaBase);
    const double start = static_cast<double>(first.mediaTime);
    // Sound: leave out whole leading packets up to the one nearest to where
    // the merged edit would reach (priming, and padding the track's last
    // edit cut off), never past a later edit's start.
    if (sound && !appended.frameRuns && start > reach) {
        int64_t lowest = INT64_MAX;
        for (const Edit& e : inserted) {
            if (e.mediaTime >= 0) {
                lowest = std::min(lowest, e.mediaTime);
            }
        }
        const double target = start - reach;
        uint64_t skipped = 0;
        size_t skip = 0;
        while (skip + 1 < appended.samples.size()) {
            const uint64_t next = skipped + appended.samples[skip].duration;
            if (next > static_cast<uint64_t>(lowest) ||
                std::abs(static_cast<double>(next) - target) >=
                    std::abs(static_cast<double>(skipped) - target)) {
                break;
            }
            skipped = next;
            ++skip;
        }
        plan.skip = skip;
        plan.skipped = skipped;
    }
    // What the merge would move the appended media by (positive: later).
    const double shift = reach + static_cast<double>(plan.skipped) - start;
    double allowed = std::max(perUnit, sample);
    if (!sound) {
        // Video joined after an implicit edit: a composition delay.
        allowed = std::max(allowed, static_cast<double>(std::abs(appended.samples.front().cts)));
    }
    plan.merge = std::abs(shift) <= allowed;
    if (!plan.merge) {
        plan.skip = 0;
        plan.skipped = 0;
    }
    return plan;
}

void TrimEdits(std::vector<Edit>& edits) {
    edits.erase(std::remove_if(edits.begin(), edits.end(),
                               [](const Edit& e) { return e.duration == 0; }),
                edits.end());
    while (!edits.empty() && edits.back().mediaTime < 0) {
        edits.pop_back();
    }
}

}  // namespace trelvan::mov
