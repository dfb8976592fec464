#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "AsfGuid.h"
#include "ByteOrder.h"

namespace trelvan::asf {

// Little-endian reads over a byte range with a sticky failure flag: a read
// past the end returns 0 (or nothing) and marks the reader failed; the caller
// checks Ok() once per object. Never reads outside [p, p + n).
class ByteReader {
  public:
    ByteReader(const uint8_t* p, size_t n) : m_p(p), m_end(p + n) {}

    bool Ok() const { return m_ok; }
    void Fail() { m_ok = false; }
    size_t Remaining() const { return static_cast<size_t>(m_end - m_p); }
    const uint8_t* Here() const { return m_p; }

    uint8_t U8() { return Need(1) ? *m_p++ : 0; }
    uint16_t U16() { return Take<uint16_t>(2, bytes::GetLE16); }
    uint32_t U32() { return Take<uint32_t>(4, bytes::GetLE32); }
    uint64_t U64() { return Take<uint64_t>(8, bytes::GetLE64); }
    // A field of 0, 1, 2 or 4 bytes as the 2-bit length types of data
    // packets give it (0 absent, 1 byte, 2 word, 3 dword).
    uint32_t Sized(unsigned type) {
        switch (type & 3) {
            case 1: return U8();
            case 2: return U16();
            case 3: return U32();
            default: return 0;
        }
    }
    Guid ReadGuid() {
        Guid g;
        if (Need(16)) {
            for (auto& x : g.b) {
                x = *m_p++;
            }
        }
        return g;
    }
    // Returns a pointer to n bytes and moves past them, or null (and fails)
    // when fewer remain.
    const uint8_t* Bytes(size_t n) {
        if (!Need(n)) {
            return nullptr;
        }
        const uint8_t* p = m_p;
        m_p += n;
        return p;
    }
    void Skip(size_t n) { Bytes(n); }
    // A UTF-16LE string of n bytes, as UTF-8 without its terminator.
    std::string Utf16(size_t n);

  private:
    bool Need(size_t n) {
        if (!m_ok || Remaining() < n) {
            m_ok = false;
            return false;
        }
        return true;
    }
    template <typename T, typename F>
    T Take(size_t n, F get) {
        if (!Need(n)) {
            return 0;
        }
        T v = get(m_p);
        m_p += n;
        return v;
    }

    const uint8_t* m_p;
    const uint8_t* m_end;
    bool m_ok = true;
};

// UTF-16LE bytes (terminator optional, odd trailing byte ignored) to UTF-8;
// unpaired surrogates become U+FFFD. Stops at the first NUL.
std::string Utf16ToUtf8(const uint8_t* p, size_t n);
// UTF-8 to UTF-16LE bytes with a terminating NUL, as ASF stores strings.
std::string Utf8ToUtf16(const std::string& s);

}  // namespace trelvan::asf
