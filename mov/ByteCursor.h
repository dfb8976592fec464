#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Big-endian reads over a byte span with a sticky failure flag: a read past
// the end returns 0 and marks the cursor failed; the caller checks Ok() once
// per atom instead of after every field.
namespace trelvan::mov {

class ByteCursor {
public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    uint8_t U8();
    uint16_t U16();
    uint32_t U24();
    uint32_t U32();
    uint64_t U64();
    int32_t S32() { return static_cast<int32_t>(U32()); }
    // v0 fields are 32-bit, v1 fields 64-bit (times and durations).
    uint64_t Sized(bool wide) { return wide ? U64() : U32(); }
    void Skip(size_t n);
    // The next n bytes (an empty span, and the cursor failed, when fewer
    // remain).
    std::span<const uint8_t> Take(size_t n);

    size_t Remaining() const { return m_ok ? m_bytes.size() - m_pos : 0; }
    size_t Position() const { return m_pos; }
    bool Ok() const { return m_ok; }
    void Fail() { m_ok = false; }
    // True when `count` entries of `entry_size` bytes each fit in what
    // remains; checked before anything is allocated for them.
    bool Holds(uint64_t count, uint64_t entry_size) const {
        return entry_size == 0 || count <= Remaining() / entry_size;
    }

private:
    const uint8_t* Need(size_t n);

    std::span<const uint8_t> m_bytes;
    size_t m_pos = 0;
    bool m_ok = true;
};

}  // namespace trelvan::mov
