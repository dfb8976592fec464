#include "SampleTableAtoms.h"

#include <algorithm>

#include "AtomIterator.h"
#include "Atoms.h"
#include "ByteCursor.h"
#include "ByteOrder.h"
#include "SoundLayout.h"

namespace trelvan::mov {

const SampleTableAtoms::ChildSlot SampleTableAtoms::kChildren[] = {
    {atom::kStsd, &SampleTableAtoms::m_stsd}, {atom::kStts, &SampleTableAtoms::m_stts},
    {atom::kCtts, &SampleTableAtoms::m_ctts}, {atom::kStss, &SampleTableAtoms::m_stss},
    {atom::kStps, &SampleTableAtoms::m_stps}, {atom::kSdtp, &SampleTableAtoms::m_sdtp},
    {atom::kStsc, &SampleTableAtoms::m_stsc}, {atom::kStsz, &SampleTableAtoms::m_stsz},
    {atom::kStz2, &SampleTableAtoms::m_stz2}, {atom::kStco, &SampleTableAtoms::m_stco},
    {atom::kCo64, &SampleTableAtoms::m_co64},
};

void SampleTableAtoms::Collect(std::span<const uint8_t> stblPayload) {
    AtomIterator it(stblPayload);
    AtomView child;
    while (it.Next(child)) {
        for (const ChildSlot& c : kChildren) {
            if (c.type == child.type && (this->*c.slot).empty()) {
                this->*c.slot = child.payload;
            }
        }
    }
    m_broken = it.Broken();
}

MovResult SampleTableAtoms::ReadDescriptions(Track& track,
                                             const std::vector<bool>& selfRefs) const {
    uint8_t version = 0;
    uint32_t flags = 0;
    std::span<const uint8_t> rest;
    if (!SplitFullAtom(m_stsd, version, flags, rest)) {
        return kInvalidSampleTable;
    }
    ByteCursor c(rest);
    const uint32_t count = c.U32();
    if (!c.Ok() || !c.Holds(count, 16)) {
        return kInvalidSampleTable;
    }
    track.descriptions.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (c.Remaining() < 16) {
            return kInvalidSampleTable;
        }
        const size_t at = c.Position();
        const uint32_t size = c.U32();
        if (size < 16 || size - 4 > c.Remaining()) {
            return kInvalidSampleTable;
        }
        c.Skip(size - 4);
        std::vector<uint8_t> entry(rest.begin() + at, rest.begin() + at + size);
        // Its samples must lie in this file: the data reference it names has
        // to be a self-reference. On output there is one reference only.
        const uint16_t ref = bytes::GetBE16(entry.data() + 14);
        if (ref == 0 || ref > selfRefs.size()) {
            return kInvalidSampleTable;
        }
        if (!selfRefs[ref - 1]) {
            return kCouldNotResolveDataRef;
        }
        bytes::PutBE16(entry.data() + 14, 1);
        track.descriptions.push_back(std::move(entry));
    }
    return kNoErr;
}

bool SampleTableAtoms::ReadRuns(std::span<const uint8_t> atom, std::vector<Run>& runs) {
    if (atom.empty()) {
        return true;
    }
    ByteCursor c(atom);
    c.Skip(4);
    const uint32_t count = c.U32();
    // A count beyond the atom is trimmed to the entries present.
    const uint32_t present = static_cast<uint32_t>(std::min<uint64_t>(count, c.Remaining() / 8));
    runs.reserve(present);
    for (uint32_t i = 0; i < present; ++i) {
        const uint32_t n = c.U32();
        runs.push_back({n, c.U32()});
    }
    return c.Ok();
}

bool SampleTableAtoms::ReadNumbers(std::span<const uint8_t> atom, std::vector<uint32_t>& numbers) {
    ByteCursor c(atom);
    c.Skip(4);
    const uint32_t count = c.U32();
    if (!c.Ok() || !c.Holds(count, 4)) {
        return false;
    }
    numbers.resize(count);
    for (uint32_t& n : numbers) {
        n = c.U32();
    }
    return c.Ok();
}

bool SampleTableAtoms::ReadSizes(uint32_t& uniform, uint64_t& count, std::vector<uint32_t>& sizes,
                                 uint64_t fileSize) const {
    if (!m_stsz.empty()) {
        ByteCursor c(m_stsz);
        c.Skip(4);
        uniform = c.U32();
        count = c.U32();
        if (!c.Ok()) {
            return false;
        }
        if (uniform != 0) {
            return true;
        }
        if (!c.Holds(count, 4)) {
            return false;
        }
        sizes.resize(count);
        for (uint32_t& s : sizes) {
            s = c.U32();
        }
        return c.Ok();
    }
    if (!m_stz2.empty()) {
        ByteCursor c(m_stz2);
        c.Skip(4);
        c.Skip(3);
        const uint8_t field = c.U8();
        count = c.U32();
        uniform = 0;
        if (!c.Ok() || (field != 4 && field != 8 && field != 16)) {
            return false;
        }
        if ((count * field + 7) / 8 > c.Remaining()) {
            return false;
        }
        sizes.resize(count);
        for (uint64_t i = 0; i < count; ++i) {
            if (field == 16) {
                sizes[i] = c.U16();
            } else if (field == 8) {
                sizes[i] = c.U8();
            } else {
                const uint8_t b = (i % 2 == 0) ? c.U8() : 0;
                sizes[i] = (i % 2 == 0) ? (b >> 4) : 0;
                if (i % 2 == 0 && i + 1 < count) {
                    sizes[i + 1] = b & 0xF;
                    ++i;
                }
            }
        }
        return c.Ok();
    }
    (void)fileSize;
    count = 0;  // no size table: no samples
    return true;
}

bool SampleTableAtoms::ReadChunkOffsets(std::vector<uint64_t>& offsets) const {
    const bool wide = m_stco.empty();
    const std::span<const uint8_t> atom = wide ? m_co64 : m_stco;
    if (atom.empty()) {
        return true;
    }
    ByteCursor c(atom);
    c.Skip(4);
    const uint32_t count = c.U32();
    if (!c.Ok() || !c.Holds(count, wide ? 8 : 4)) {
        return false;
    }
    offsets.resize(count);
    for (uint64_t& o : offsets) {
        o = c.Sized(wide);
    }
    return c.Ok();
}

bool SampleTableAtoms::ReadChunkRuns(std::vector<ChunkRun>& runs) const {
    if (m_stsc.empty()) {
        return true;
    }
    ByteCursor c(m_stsc);
    c.Skip(4);
    const uint32_t count = c.U32();
    if (!c.Ok() || !c.Holds(count, 12)) {
        return false;
    }
    runs.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        ChunkRun r{};
        r.firstChunk = c.U32();
        r.samplesPerChunk = c.U32();
        r.desc = c.U32();
        // Entries whose first chunk does not move forward are left out.
        if (r.firstChunk == 0 || (!runs.empty() && r.firstChunk <= runs.back().firstChunk)) {
            continue;
        }
        runs.push_back(r);
    }
    return c.Ok();
}

MovResult SampleTableAtoms::Build(Track& track, const std::vector<bool>& selfRefs,
                                  uint64_t fileSize, SampleBudget& budget,
                                  const Warn& warn) const {
    if (m_broken) {
        return kBadPublicMovieAtom;
    }
    if (m_stsd.empty()) {
        return kInvalidSampleTable;
    }
    if (const MovResult rc = ReadDescriptions(track, selfRefs); rc != kNoErr) {
        return rc;
    }
    std::vector<Run> durations, offsets;
    std::vector<uint32_t> syncs, partials, sizes;
    std::vector<uint64_t> chunkOffsets;
    std::vector<ChunkRun> chunkRuns;
    uint32_t uniform = 0;
    uint64_t count = 0;
    if (!ReadRuns(m_stts, durations) || !ReadRuns(m_ctts, offsets) ||
        !ReadSizes(uniform, count, sizes, fileSize) || !ReadChunkOffsets(chunkOffsets) ||
        !ReadChunkRuns(chunkRuns)) {
        return kInvalidSampleTable;
    }
    const bool hasSync = !m_stss.empty();
    if ((hasSync && !ReadNumbers(m_stss, syncs)) ||
        (!m_stps.empty() && !ReadNumbers(m_stps, partials))) {
        return kInvalidSampleTable;
    }
    if (count == 0) {
        return kNoErr;
    }
    if (chunkOffsets.empty() || chunkRuns.empty()) {
        return kInvalidSampleTable;
    }

    // The one delta of the decode-time table (0: none, or several).
    uint32_t delta = 0;
    bool seen = false, oneDelta = true;
    for (const Run& r : durations) {
        if (r.count != 0) {
            oneDelta = oneDelta && (!seen || delta == r.value);
            delta = r.value;
            seen = true;
        }
    }
    delta = oneDelta ? delta : 0;
    // A track with samples but no description is refused below, where the
    // chunk runs name a description it does not have.
    track.frameRuns = track.handler == atom::kSoun && !track.descriptions.empty() &&
                      UsesFrameTables(track.descriptions.front(), uniform, delta);
    track.frameTableSize = uniform;
    // Samples of one uniform size cannot be more than the file holds (a
    // frame table lists one entry per chunk, bounded by the chunk table).
    if (!track.frameRuns && uniform != 0) {
        count = std::min<uint64_t>(count, fileSize / uniform + 1);
    }
    const uint64_t entries =
        track.frameRuns ? std::min<uint64_t>(chunkOffsets.size(), count) : count;
    if (entries > kMaxSamplesPerTrack || !budget.Take(entries)) {
        return kFileOffsetTooBig;
    }
    track.samples.reserve(entries);

    // Decode-time and composition runs are walked alongside the samples;
    // past their end the last delta repeats and offsets are 0.
    size_t dRun = 0, oRun = 0;
    uint32_t dLeft = durations.empty() ? 0 : durations[0].count;
    uint32_t oLeft = offsets.empty() ? 0 : offsets[0].count;
    uint32_t lastDelta = 0;
    auto nextDelta = [&]() {
        while (dRun < durations.size() && dLeft == 0) {
            if (++dRun < durations.size()) {
                dLeft = durations[dRun].count;
            }
        }
        if (dRun < durations.size()) {
            --dLeft;
            lastDelta = durations[dRun].value;
        }
        return lastDelta;
    };
    // The sum of the next n deltas, run by run (a frame table may count
    // billions of frames).
    auto takeDeltas = [&](uint64_t n) {
        uint64_t sum = 0;
        while (n > 0) {
            while (dRun < durations.size() && dLeft == 0) {
                if (++dRun < durations.size()) {
                    dLeft = durations[dRun].count;
                }
            }
            if (dRun >= durations.size()) {
                return sum + n * lastDelta;
            }
            lastDelta = durations[dRun].value;
            const uint64_t k = std::min<uint64_t>(n, dLeft);
            sum += k * lastDelta;
            dLeft -= static_cast<uint32_t>(k);
            n -= k;
        }
        return sum;
    };
    auto nextOffset = [&]() -> int32_t {
        while (oRun < offsets.size() && oLeft == 0) {
            if (++oRun < offsets.size()) {
                oLeft = offsets[oRun].count;
            }
        }
        if (oRun < offsets.size()) {
            --oLeft;
            return static_cast<int32_t>(offsets[oRun].value);
        }
        return 0;
    };

    const bool zeroBasedSync = !syncs.empty() && syncs.front() == 0;
    size_t syncAt = 0, partialAt = 0;
    const FramePacking packing =
        track.frameRuns ? FramePackingOf(track.descriptions.front()) : FramePacking{};
    uint64_t produced = 0;
    size_t runAt = 0;
    for (uint64_t chunk = 1; chunk <= chunkOffsets.size() && produced < count; ++chunk) {
        while (runAt + 1 < chunkRuns.size() && chunkRuns[runAt + 1].firstChunk <= chunk) {
            ++runAt;
        }
        const ChunkRun& run = chunkRuns[runAt];
        if (run.desc == 0 || run.desc > track.descriptions.size()) {
            return kInvalidSampleTable;
        }
        uint64_t at = chunkOffsets[chunk - 1];
        if (track.frameRuns) {
            const uint64_t frames = std::min<uint64_t>(run.samplesPerChunk, count - produced);
            Sample s;
            s.offset = at;
            s.count = static_cast<uint32_t>(frames);
            s.desc = static_cast<uint16_t>(run.desc);
            const uint64_t bytes = FrameBytes(packing, frames, uniform);
            const uint64_t duration = takeDeltas(frames);
            if (bytes > UINT32_MAX || duration > UINT32_MAX) {
                return kInvalidSampleTable;
            }
            s.size = static_cast<uint32_t>(bytes);
            s.duration = static_cast<uint32_t>(duration);
            produced += frames;
            if (frames > 0) {
                track.samples.push_back(s);
            }
            continue;
        }
        for (uint32_t k = 0; k < run.samplesPerChunk && produced < count; ++k, ++produced) {
            Sample s;
            s.offset = at;
            s.size = uniform != 0 ? uniform : sizes[produced];
            s.desc = static_cast<uint16_t>(run.desc);
            s.duration = nextDelta();
            s.cts = nextOffset();
            const uint64_t number = zeroBasedSync ? produced : produced + 1;
            if (hasSync) {
                while (syncAt < syncs.size() && syncs[syncAt] < number) {
                    ++syncAt;
                }
                s.flags = (syncAt < syncs.size() && syncs[syncAt] == number) ? kSampleSync : 0;
            }
            while (partialAt < partials.size() && partials[partialAt] < produced + 1) {
                ++partialAt;
            }
            if (partialAt < partials.size() && partials[partialAt] == produced + 1) {
                s.flags |= kSamplePartialSync;
            }
            if (m_sdtp.size() >= 4 + produced + 1) {
                s.flags |= kSampleHasDeps;
                s.deps = m_sdtp[4 + produced];
            }
            at += s.size;
            track.samples.push_back(s);
        }
    }
    if (produced < count && warn) {
        warn("track " + std::to_string(track.id) + ": the chunk table holds " +
             std::to_string(produced) + " of " + std::to_string(count) + " samples");
    }
    return kNoErr;
}

}  // namespace trelvan::mov
