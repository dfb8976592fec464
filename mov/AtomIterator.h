#pragma once

#include <cstdint>
#include <span>

// Walks the child atoms of a container held in memory. A child whose size
// does not fit what remains of its parent (or is 2..7, or a 64-bit size
// below 16) ends the walk and marks the walk broken; fewer than 8 bytes left,
// or a child of type 0, end it cleanly (QuickTime closes some lists with a
// zero word or a terminator atom). A size of 0 runs to the end of the parent.
namespace trelvan::mov {

struct AtomView {
    uint32_t type = 0;
    std::span<const uint8_t> whole;    // header included
    std::span<const uint8_t> payload;  // after the header
};

class AtomIterator {
public:
    explicit AtomIterator(std::span<const uint8_t> parent) : m_rest(parent) {}

    // The next child; false at the end of the list or at a broken child.
    bool Next(AtomView& out);
    bool Broken() const { return m_broken; }

private:
    std::span<const uint8_t> m_rest;
    bool m_broken = false;
};

// The payload of a full atom split into its version and flags and the rest;
// false when the payload is shorter than 4 bytes.
bool SplitFullAtom(std::span<const uint8_t> payload, uint8_t& version, uint32_t& flags,
                   std::span<const uint8_t>& rest);

}  // namespace trelvan::mov
