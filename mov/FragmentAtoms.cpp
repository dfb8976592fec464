#include "FragmentAtoms.h"

#include <algorithm>

#include "AtomIterator.h"
#include "Atoms.h"
#include "ByteCursor.h"
#include "SoundLayout.h"

namespace trelvan::mov {
namespace {

constexpr uint32_t kNonSync = 0x00010000;

// tfhd flags
constexpr uint32_t kBaseOffset = 0x000001;
constexpr uint32_t kDescIndex = 0x000002;
constexpr uint32_t kDefDuration = 0x000008;
constexpr uint32_t kDefSize = 0x000010;
constexpr uint32_t kDefFlags = 0x000020;
constexpr uint32_t kBaseIsMoof = 0x020000;
// trun flags
constexpr uint32_t kDataOffset = 0x000001;
constexpr uint32_t kFirstFlags = 0x000004;
constexpr uint32_t kRunDuration = 0x000100;
constexpr uint32_t kRunSize = 0x000200;
constexpr uint32_t kRunFlags = 0x000400;
constexpr uint32_t kRunCts = 0x000800;

Track* FindTrack(Movie& movie, uint32_t id) {
    for (Track& t : movie.tracks) {
        if (t.id == id) {
            return &t;
        }
    }
    return nullptr;
}

// Whether a run's samples are sound frames (or constant-size packets) of
// one size and duration, kept as runs as the sample tables keep them: sound
// whose description counts frames, a run without sizes, durations or
// offsets of its own, on a track whose samples so far are such runs.
bool FrameRun(uint32_t flags, uint32_t count, const FragmentDefaults& d, const Track& track) {
    if (count == 0 || (flags & (kRunDuration | kRunSize | kRunCts)) != 0 ||
        track.handler != atom::kSoun || d.desc == 0 || d.desc > track.descriptions.size()) {
        return false;
    }
    if (track.frameRuns ? track.frameTableSize != d.size : !track.samples.empty()) {
        return false;
    }
    return UsesFrameTables(track.descriptions[d.desc - 1], d.size, d.duration);
}

// Appends `count` frames from `at` as runs (each of at most a million
// frames, ending on a packet boundary).
MovResult AppendFrames(uint64_t at, uint32_t count, const FragmentDefaults& d,
                       SampleBudget& budget, Track& track, uint64_t& dataEnd) {
    const FramePacking packing = FramePackingOf(track.descriptions[d.desc - 1]);
    const uint64_t perPacket = std::max<uint32_t>(packing.framesPerPacket, 1);
    const uint64_t most = std::max<uint64_t>((uint64_t{1} << 20) / perPacket, 1) * perPacket;
    const uint64_t runs = (count + most - 1) / most;
    if (track.samples.size() + runs > kMaxSamplesPerTrack || !budget.Take(runs)) {
        return kFileOffsetTooBig;
    }
    track.frameRuns = true;
    track.frameTableSize = d.size;
    for (uint64_t left = count; left > 0;) {
        const uint64_t frames = std::min(left, most);
        const uint64_t bytes = FrameBytes(packing, frames, d.size);
        const uint64_t duration = frames * d.duration;
        if (bytes > UINT32_MAX || duration > UINT32_MAX) {
            return kInvalidSampleTable;
        }
        Sample s;
        s.offset = at;
        s.size = static_cast<uint32_t>(bytes);
        s.duration = static_cast<uint32_t>(duration);
        s.count = static_cast<uint32_t>(frames);
        s.desc = static_cast<uint16_t>(d.desc);
        track.samples.push_back(s);
        at += bytes;
        left -= frames;
    }
    dataEnd = at;
    return kNoErr;
}

// Samples of a fragment that continue a track held as runs of frames (its
// moov tables counting frames, its fragments listing packets of them, as
// ffmpeg writes PCM), turned into runs: each must be whole table samples of
// the track's duration and bytes.
bool AsFrameRuns(std::vector<Sample>& samples, const Track& track) {
    if (track.samples.empty() || track.samples.back().count == 0) {
        return false;
    }
    const Sample& last = track.samples.back();
    const uint64_t each = last.duration / last.count;
    if (each == 0 || last.duration % last.count != 0) {
        return false;
    }
    for (const Sample& s : samples) {
        if (s.cts != 0 || s.desc == 0 || s.desc > track.descriptions.size() ||
            s.duration == 0 || s.duration % each != 0 ||
            FrameBytes(FramePackingOf(track.descriptions[s.desc - 1]), s.duration / each,
                       track.frameTableSize) != s.size) {
            return false;
        }
    }
    for (Sample& s : samples) {
        s.count = static_cast<uint32_t>(s.duration / each);
        s.flags = kSampleSync;
    }
    return true;
}

// A track held as runs of frames that a fragment continues with samples
// of sizes or durations of their own: its runs become one entry per table
// sample, as tracks of listed samples are held (sound whose bytes grow
// with its frames; packed sound stays as it is).
MovResult ExpandFrameRuns(Track& track, SampleBudget& budget) {
    if (!track.frameRuns) {
        return kNoErr;
    }
    uint64_t total = 0;
    for (const Sample& s : track.samples) {
        if (s.desc == 0 || s.desc > track.descriptions.size() ||
            FramePackingOf(track.descriptions[s.desc - 1]).framesPerPacket > 1) {
            return kNoErr;
        }
        total += s.count;
    }
    if (total > kMaxSamplesPerTrack || !budget.Take(total - track.samples.size())) {
        return kFileOffsetTooBig;
    }
    std::vector<Sample> each;
    each.reserve(total);
    for (const Sample& run : track.samples) {
        const uint32_t n = std::max<uint32_t>(run.count, 1);
        for (uint32_t k = 0; k < n; ++k) {
            Sample s = run;
            s.count = 1;
            s.size = run.size / n;
            s.offset = run.offset + uint64_t{k} * s.size;
            s.duration = run.duration / n + (k + 1 == n ? run.duration % n : 0);
            each.push_back(s);
        }
    }
    track.samples = std::move(each);
    track.frameRuns = false;
    return kNoErr;
}

}  // namespace

void FragmentAtoms::ReadExtends(std::span<const uint8_t> mvexPayload) {
    AtomIterator it(mvexPayload);
    AtomView child;
    while (it.Next(child)) {
        if (child.type != atom::kTrex) {
            continue;
        }
        ByteCursor c(child.payload);
        c.Skip(4);
        const uint32_t id = c.U32();
        Defaults d;
        d.desc = c.U32();
        d.duration = c.U32();
        d.size = c.U32();
        d.flags = c.U32();
        if (c.Ok()) {
            m_extends[id] = d;
        }
    }
}

MovResult FragmentAtoms::ReadFragment(std::span<const uint8_t> moofPayload, uint64_t moofOffset,
                                      uint64_t fileSize, SampleBudget& budget, Movie& movie) {
    AtomIterator it(moofPayload);
    AtomView child;
    uint64_t dataEnd = moofOffset;
    bool first = true;
    while (it.Next(child)) {
        if (child.type != atom::kTraf) {
            continue;
        }
        if (const MovResult rc =
                ReadTrackFragment(child.payload, moofOffset, dataEnd, first, fileSize, budget,
                                  movie);
            rc != kNoErr) {
            return rc;
        }
        first = false;
    }
    return it.Broken() ? kBadPublicMovieAtom : kNoErr;
}

MovResult FragmentAtoms::ReadTrackFragment(std::span<const uint8_t> traf, uint64_t moofOffset,
                                           uint64_t& dataEnd, bool first, uint64_t fileSize,
                                           SampleBudget& budget, Movie& movie) {
    AtomIterator it(traf);
    AtomView child;
    Track* track = nullptr;
    Defaults d;
    uint64_t base = 0;
    uint64_t decodeTime = 0;
    bool hasDecodeTime = false;
    while (it.Next(child)) {
        ByteCursor c(child.payload);
        if (child.type == atom::kTfhd) {
            const uint32_t flags = c.U32() & 0xFFFFFF;
            const uint32_t id = c.U32();
            track = FindTrack(movie, id);
            if (track == nullptr || !c.Ok()) {
                return kInvalidTrack;
            }
            if (auto e = m_extends.find(id); e != m_extends.end()) {
                d = e->second;
            }
            // Without an explicit base, the first track fragment's data
            // starts at the 'moof', later ones where the previous one ended.
            base = (first || (flags & kBaseIsMoof) != 0) ? moofOffset : dataEnd;
            if (flags & kBaseOffset) {
                base = c.U64();
            }
            if (flags & kDescIndex) {
                d.desc = c.U32();
            }
            if (flags & kDefDuration) {
                d.duration = c.U32();
            }
            if (flags & kDefSize) {
                d.size = c.U32();
            }
            if (flags & kDefFlags) {
                d.flags = c.U32();
            }
            if (!c.Ok()) {
                return kInvalidTrack;
            }
            if (d.desc == 0 || d.desc > track->descriptions.size()) {
                return kInvalidSampleTable;
            }
            dataEnd = base;
        } else if (child.type == atom::kTfdt && track != nullptr) {
            const bool wide = c.U8() == 1;
            c.Skip(3);
            decodeTime = c.Sized(wide);
            hasDecodeTime = c.Ok();
        } else if (child.type == atom::kTrun && track != nullptr) {
            // A fragment that starts later than the track's samples end
            // stretches the last sample over the gap.
            if (hasDecodeTime) {
                const uint64_t end = track->MediaDuration();
                if (decodeTime > end && !track->samples.empty()) {
                    track->samples.back().duration += static_cast<uint32_t>(
                        std::min<uint64_t>(decodeTime - end, UINT32_MAX / 2));
                }
                hasDecodeTime = false;
            }
            if (const MovResult rc =
                    ReadRun(child.payload, base, dataEnd, d, fileSize, budget, *track);
                rc != kNoErr) {
                return rc;
            }
        }
    }
    return it.Broken() ? kBadPublicMovieAtom : kNoErr;
}

MovResult FragmentAtoms::ReadRun(std::span<const uint8_t> trun, uint64_t base,
                                 uint64_t& dataEnd, const Defaults& d, uint64_t fileSize,
                                 SampleBudget& budget, Track& track) {
    ByteCursor c(trun);
    c.Skip(1);  // version: only the sign of offsets, read as signed anyway
    const uint32_t flags = c.U24();
    const uint32_t count = c.U32();
    uint64_t at = dataEnd;
    if (flags & kDataOffset) {
        at = base + static_cast<uint64_t>(static_cast<int64_t>(c.S32()));
    }
    const uint32_t firstFlags = (flags & kFirstFlags) ? c.U32() : d.flags;
    const uint32_t perSample = 4 * (((flags & kRunDuration) != 0) + ((flags & kRunSize) != 0) +
                                    ((flags & kRunFlags) != 0) + ((flags & kRunCts) != 0));
    if (!c.Ok()) {
        return kInvalidSampleTable;
    }
    // Entries are checked against the atom; runs of default-sized samples
    // against the file (each sample takes at least a byte of it).
    if (perSample != 0 ? !c.Holds(count, perSample)
                       : count > fileSize / std::max<uint32_t>(d.size, 1) + 1) {
        return kInvalidSampleTable;
    }
    if (FrameRun(flags, count, d, track)) {
        return AppendFrames(at, count, d, budget, track, dataEnd);
    }
    if (track.samples.size() + count > kMaxSamplesPerTrack || !budget.Take(count)) {
        return kFileOffsetTooBig;
    }
    std::vector<Sample> listed;
    listed.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        Sample s;
        s.offset = at;
        s.desc = static_cast<uint16_t>(d.desc);
        s.duration = (flags & kRunDuration) ? c.U32() : d.duration;
        s.size = (flags & kRunSize) ? c.U32() : d.size;
        uint32_t sampleFlags = (flags & kRunFlags) ? c.U32() : d.flags;
        if (i == 0 && (flags & kFirstFlags)) {
            sampleFlags = firstFlags;
        }
        if (flags & kRunCts) {
            // Read as signed in both versions: writers put negative offsets
            // into version 0 too.
            s.cts = static_cast<int32_t>(c.U32());
        }
        s.flags = (sampleFlags & kNonSync) ? 0 : kSampleSync;
        at += s.size;
        listed.push_back(s);
    }
    if (!c.Ok()) {
        return kInvalidSampleTable;
    }
    if (track.frameRuns && !AsFrameRuns(listed, track)) {
        if (const MovResult rc = ExpandFrameRuns(track, budget); rc != kNoErr) {
            return rc;
        }
    }
    track.samples.insert(track.samples.end(), listed.begin(), listed.end());
    dataEnd = at;
    return kNoErr;
}

}  // namespace trelvan::mov
