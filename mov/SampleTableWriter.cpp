#include "SampleTableWriter.h"

#include <algorithm>
#include <array>

#include "Atoms.h"

namespace trelvan::mov {
namespace {

struct Run {
    uint32_t count;
    uint32_t value;
};

void PushRun(std::vector<Run>& runs, uint32_t count, uint32_t value) {
    if (count == 0) {
        return;
    }
    if (!runs.empty() && runs.back().value == value && runs.back().count <= UINT32_MAX - count) {
        runs.back().count += count;
    } else {
        runs.push_back({count, value});
    }
}

void WriteRuns(AtomWriter& w, uint32_t type, uint8_t version, const std::vector<Run>& runs) {
    ScopedAtom a(w, type, version, 0);
    w.U32(static_cast<uint32_t>(runs.size()));
    for (const Run& r : runs) {
        w.U32(r.count);
        w.U32(r.value);
    }
}

void WriteDescriptions(AtomWriter& w, const Track& t) {
    ScopedAtom a(w, atom::kStsd, 0, 0);
    w.U32(static_cast<uint32_t>(t.descriptions.size()));
    for (const std::vector<uint8_t>& d : t.descriptions) {
        w.Put(d);
    }
}

void WriteTimes(AtomWriter& w, const Track& t) {
    std::vector<Run> durations, offsets;
    bool anyOffset = false, negative = false;
    int32_t least = INT32_MAX, greatest = INT32_MIN;
    for (const Sample& s : t.samples) {
        if (s.count > 1) {
            // A frame run: its frames share the duration evenly, the rest
            // goes to the last frame.
            const uint32_t each = s.duration / s.count;
            PushRun(durations, s.count - 1, each);
            PushRun(durations, 1, each + s.duration % s.count);
        } else {
            PushRun(durations, 1, s.duration);
        }
        PushRun(offsets, s.count, static_cast<uint32_t>(s.cts));
        anyOffset = anyOffset || s.cts != 0;
        negative = negative || s.cts < 0;
        least = std::min(least, s.cts);
        greatest = std::max(greatest, s.cts);
    }
    WriteRuns(w, atom::kStts, 0, durations);
    if (!anyOffset) {
        return;
    }
    WriteRuns(w, atom::kCtts, negative ? 1 : 0, offsets);
    if (negative) {
        // How far composition times must be shifted to stay at or after
        // decode times.
        ScopedAtom a(w, atom::kCslg, 0, 0);
        w.U32(static_cast<uint32_t>(least < 0 ? -static_cast<int64_t>(least) : 0));
        w.U32(static_cast<uint32_t>(least));
        w.U32(static_cast<uint32_t>(greatest));
        uint64_t end = 0;
        for (const Sample& s : t.samples) {
            end += s.duration;
        }
        w.U32(0);
        w.U32(static_cast<uint32_t>(std::min<uint64_t>(end, INT32_MAX)));
    }
}

// 'stss', 'stps' and 'sdtp' from the sample flags; each only when it says
// something ('sdtp' only when every sample has its byte).
void WriteSyncTables(AtomWriter& w, const Track& t) {
    std::vector<uint32_t> sync, partial;
    bool allSync = true, allDeps = !t.samples.empty();
    uint64_t number = 1;
    for (const Sample& s : t.samples) {
        if (s.flags & kSampleSync) {
            sync.push_back(static_cast<uint32_t>(number));
        } else {
            allSync = false;
        }
        if (s.flags & kSamplePartialSync) {
            partial.push_back(static_cast<uint32_t>(number));
        }
        allDeps = allDeps && (s.flags & kSampleHasDeps) && s.count == 1;
        number += s.count;
    }
    if (!allSync) {
        ScopedAtom a(w, atom::kStss, 0, 0);
        w.U32(static_cast<uint32_t>(sync.size()));
        for (uint32_t n : sync) {
            w.U32(n);
        }
    }
    if (!partial.empty()) {
        ScopedAtom a(w, atom::kStps, 0, 0);
        w.U32(static_cast<uint32_t>(partial.size()));
        for (uint32_t n : partial) {
            w.U32(n);
        }
    }
    if (allDeps) {
        ScopedAtom a(w, atom::kSdtp, 0, 0);
        for (const Sample& s : t.samples) {
            w.U8(s.deps);
        }
    }
}

void WriteLocations(AtomWriter& w, const Track& t, const std::vector<const Chunk*>& chunks,
                    uint64_t wideLimit) {
    {
        // One entry for the first chunk, then one wherever the samples per
        // chunk or the description change.
        std::vector<std::array<uint32_t, 3>> entries;
        uint32_t number = 1;
        for (const Chunk* c : chunks) {
            uint64_t perChunk = 0;
            for (size_t i = c->first; i < c->first + c->count; ++i) {
                perChunk += t.samples[i].count;
            }
            const uint32_t desc = t.samples[c->first].desc;
            if (entries.empty() || entries.back()[1] != perChunk || entries.back()[2] != desc) {
                entries.push_back({number, static_cast<uint32_t>(perChunk), desc});
            }
            ++number;
        }
        ScopedAtom a(w, atom::kStsc, 0, 0);
        w.U32(static_cast<uint32_t>(entries.size()));
        for (const auto& e : entries) {
            w.U32(e[0]);
            w.U32(e[1]);
            w.U32(e[2]);
        }
    }
    {
        ScopedAtom a(w, atom::kStsz, 0, 0);
        if (t.frameRuns) {
            uint64_t frames = 0;
            for (const Sample& s : t.samples) {
                frames += s.count;
            }
            w.U32(t.frameTableSize);
            w.U32(static_cast<uint32_t>(frames));
        } else {
            // A size of 0 in the header means "sizes follow": samples that
            // all hold nothing (a damaged source's) are listed one by one.
            const bool uniform =
                !t.samples.empty() && t.samples.front().size != 0 &&
                std::all_of(t.samples.begin(), t.samples.end(),
                            [&](const Sample& s) { return s.size == t.samples.front().size; });
            w.U32(uniform ? t.samples.front().size : 0);
            w.U32(static_cast<uint32_t>(t.samples.size()));
            if (!uniform) {
                for (const Sample& s : t.samples) {
                    w.U32(s.size);
                }
            }
        }
    }
    const bool wide = !chunks.empty() && chunks.back()->offset > wideLimit;
    ScopedAtom a(w, wide ? atom::kCo64 : atom::kStco, 0, 0);
    w.U32(static_cast<uint32_t>(chunks.size()));
    for (const Chunk* c : chunks) {
        if (wide) {
            w.U64(c->offset);
        } else {
            w.U32(static_cast<uint32_t>(c->offset));
        }
    }
}

}  // namespace

void WriteSampleTable(AtomWriter& w, const Track& track, const std::vector<const Chunk*>& chunks,
                      uint64_t wideLimit) {
    ScopedAtom stbl(w, atom::kStbl);
    WriteDescriptions(w, track);
    WriteTimes(w, track);
    WriteSyncTables(w, track);
    WriteLocations(w, track, chunks, wideLimit);
}

}  // namespace trelvan::mov
