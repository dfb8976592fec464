#pragma once

#include <cstdint>
#include <span>

// QuickTime sound whose tables count uncompressed frames (compression ID 0
// or -1: every version 0 entry, most version 1 entries): one table sample is
// one frame, and a chunk's bytes follow from the description, never from
// 'stsz'.
namespace trelvan::mov {

struct FramePacking {
    uint32_t framesPerPacket = 1;
    uint32_t bytesPerPacket = 0;  // all channels; 0 when unknown
};

// Whether a sound track with this first description, 'stsz' sample size and
// 'stts' (all deltas 1 when `unitDeltas`) keeps frame tables.
bool UsesFrameTables(std::span<const uint8_t> entry, uint32_t uniformSize, bool unitDeltas);

// How frames are packed for the description entry (whole entry bytes).
FramePacking FramePackingOf(std::span<const uint8_t> entry);

// Bytes of `frames` frames (whole packets; a partial last packet counts
// whole). Falls back to frames × `tableSize` when the packing is unknown.
uint64_t FrameBytes(const FramePacking& packing, uint64_t frames, uint32_t tableSize);

}  // namespace trelvan::mov
