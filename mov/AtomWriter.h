#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Builds atoms in memory: Begin writes a placeholder size and the type and
// remembers where; End back-patches the size (an atom that outgrows 32 bits
// is given the 64-bit form). Fields are written big-endian.
namespace trelvan::mov {

class AtomWriter {
public:
    void Begin(uint32_t type);
    // A full atom: header, then version and 24-bit flags.
    void BeginFull(uint32_t type, uint8_t version, uint32_t flags);
    void End();

    void U8(uint8_t v) { m_bytes.push_back(v); }
    void U16(uint16_t v);
    void U24(uint32_t v);
    void U32(uint32_t v);
    void U64(uint64_t v);
    void Put(std::span<const uint8_t> bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }
    void Zeros(size_t n) { m_bytes.insert(m_bytes.end(), n, 0); }

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    bool Balanced() const { return m_open.empty(); }

private:
    std::vector<uint8_t> m_bytes;
    std::vector<size_t> m_open;  // start of each open atom
};

// Begin on construction, End on destruction.
class ScopedAtom {
public:
    ScopedAtom(AtomWriter& w, uint32_t type) : m_w(w) { m_w.Begin(type); }
    ScopedAtom(AtomWriter& w, uint32_t type, uint8_t version, uint32_t flags) : m_w(w) {
        m_w.BeginFull(type, version, flags);
    }
    ~ScopedAtom() { m_w.End(); }
    ScopedAtom(const ScopedAtom&) = delete;
    ScopedAtom& operator=(const ScopedAtom&) = delete;

private:
    AtomWriter& m_w;
};

}  // namespace trelvan::mov
