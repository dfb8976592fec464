#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "MovResult.h"
#include "MovieModel.h"

// The sample table family ('stbl' and its children): collects the tables of
// one track and expands them into the track's sample list. Every count is
// checked against the bytes of its atom before anything is allocated.
namespace trelvan::mov {

// At most this many entries in one track's sample list (32 bytes each).
inline constexpr uint64_t kMaxSamplesPerTrack = uint64_t{1} << 25;

// The sample list entries one file may make, all its tracks and fragments
// together. A file spends bytes on every sample it lists (a size table
// entry, or the sample's data; sound that counts frames takes one entry per
// chunk), so entries beyond one per kFileBytesPerEntry bytes of the file
// only repeat bytes that another sample or track already claims: such a
// file is refused rather than held at many times its size.
class SampleBudget {
public:
    static constexpr uint64_t kFileBytesPerEntry = 8;
    static constexpr uint64_t kEntriesAnyFile = 4096;

    explicit SampleBudget(uint64_t fileSize)
        : m_left(fileSize / kFileBytesPerEntry + kEntriesAnyFile) {}
    // Takes `n` entries; false (taking none) when they exceed what is left.
    bool Take(uint64_t n) {
        if (n > m_left) {
            return false;
        }
        m_left -= n;
        return true;
    }

private:
    uint64_t m_left;
};

class SampleTableAtoms {
public:
    using Warn = std::function<void(const std::string&)>;

    // Takes the children of an 'stbl' atom (spans into the caller's bytes,
    // which must outlive this object). Unknown children are ignored.
    void Collect(std::span<const uint8_t> stblPayload);
    bool Broken() const { return m_broken; }

    // Fills track.descriptions and track.samples (source 0). `selfRefs` says
    // for each data reference entry (1-based index - 1) whether it is the
    // movie's own file. `fileSize` bounds what uniform sample sizes can
    // claim; the entries come out of `budget`.
    MovResult Build(Track& track, const std::vector<bool>& selfRefs, uint64_t fileSize,
                    SampleBudget& budget, const Warn& warn) const;

private:
    struct Run {
        uint32_t count;
        uint32_t value;
    };
    struct ChunkRun {
        uint32_t firstChunk;
        uint32_t samplesPerChunk;
        uint32_t desc;
    };
    // The child atoms a track's tables come from, by type.
    using Slot = std::span<const uint8_t> SampleTableAtoms::*;
    struct ChildSlot {
        uint32_t type;
        Slot slot;
    };
    static const ChildSlot kChildren[];

    MovResult ReadDescriptions(Track& track, const std::vector<bool>& selfRefs) const;
    static bool ReadRuns(std::span<const uint8_t> atom, std::vector<Run>& runs);
    static bool ReadNumbers(std::span<const uint8_t> atom, std::vector<uint32_t>& numbers);
    bool ReadSizes(uint32_t& uniform, uint64_t& count, std::vector<uint32_t>& sizes,
                   uint64_t fileSize) const;
    bool ReadChunkOffsets(std::vector<uint64_t>& offsets) const;
    bool ReadChunkRuns(std::vector<ChunkRun>& runs) const;

    std::span<const uint8_t> m_stsd, m_stts, m_ctts, m_stss, m_stps, m_sdtp, m_stsc, m_stsz,
        m_stz2, m_stco, m_co64;
    bool m_broken = false;
};

}  // namespace trelvan::mov
