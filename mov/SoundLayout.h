#pragma once

#include <cstdint>
#include <span>

// QuickTime sound whose tables count uncompressed frames (compression ID 0
// or -1: every version 0 entry, most version 1 entries): one table sample is
// one frame, and a chunk's bytes follow from the description, never from
// 'stsz'. Version 2 entries whose packets are all of one size and one
// duration (PCM above 65,535 Hz, constant-size sound) list one table sample
// per packet, 'stsz' giving its bytes; such tracks are kept as runs of
// packets too.
namespace trelvan::mov {

struct FramePacking {
    uint32_t framesPerPacket = 1;
    uint32_t bytesPerPacket = 0;  // all channels; 0 when unknown
};

// Whether a sound track with this first description, 'stsz' sample size and
// 'stts' (`delta` when all its deltas are that one value, else 0) keeps
// frame tables.
bool UsesFrameTables(std::span<const uint8_t> entry, uint32_t uniformSize, uint32_t delta);

// How frames are packed for the description entry (whole entry bytes). A
// version 2 entry counts packets: one table sample each, of the size 'stsz'
// states (the packing is left unknown).
FramePacking FramePackingOf(std::span<const uint8_t> entry);

// Bytes of `frames` frames (whole packets; a partial last packet counts
// whole). Falls back to frames × `tableSize` when the packing is unknown.
uint64_t FrameBytes(const FramePacking& packing, uint64_t frames, uint32_t tableSize);

}  // namespace trelvan::mov
