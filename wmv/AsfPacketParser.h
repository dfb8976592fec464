#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Parsing of one ASF data packet into its payloads. Pointers point into the
// packet's bytes; nothing is copied.
namespace trelvan::asf {

struct Payload {
    uint8_t stream = 0;  // 1..127
    bool key = false;    // bit 7 of the stream byte
    uint32_t objectNumber = 0;
    // Offset into the media object; for compressed payloads the presentation
    // time (ms, preroll included).
    uint32_t offset = 0;
    // From replicated data of 8 bytes or more: object size and presentation
    // time (ms, preroll included). Both 0 when the payload has none.
    uint32_t objectSize = 0;
    uint32_t timeMs = 0;
    const uint8_t* ext = nullptr;  // replicated bytes after the first 8
    size_t extLen = 0;
    bool compressed = false;  // replicated length 1: sub-payloads follow
    uint8_t delta = 0;        // compressed: time step between sub-payloads, ms
    bool noReplicated = false;
    const uint8_t* data = nullptr;
    size_t len = 0;
};

struct PacketInfo {
    uint32_t sendTimeMs = 0;
    uint16_t durationMs = 0;
    size_t end = 0;  // where the payload bytes end (before padding)
};

// Reads the packet of `size` bytes at p. Appends its usable payloads to
// `out` and returns true; returns false for a packet whose own fields
// contradict its size (it is skipped as a whole). Payloads of invalid forms
// (replicated data of 2 to 7 bytes, length 0) are left out.
bool ParsePacket(const uint8_t* p, size_t size, PacketInfo& info, std::vector<Payload>& out);

}  // namespace trelvan::asf
