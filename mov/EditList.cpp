#include "EditList.h"

#include <algorithm>

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
    const uint64_t duration = Rescale(track.MediaDuration(), track.timescale, movieScale);
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

void TrimEdits(std::vector<Edit>& edits) {
    edits.erase(std::remove_if(edits.begin(), edits.end(),
                               [](const Edit& e) { return e.duration == 0; }),
                edits.end());
    while (!edits.empty() && edits.back().mediaTime < 0) {
        edits.pop_back();
    }
}

}  // namespace trelvan::mov
