#include "ByteCursor.h"

#include "ByteOrder.h"

namespace trelvan::mov {

const uint8_t* ByteCursor::Need(size_t n) {
    if (!m_ok || n > m_bytes.size() - m_pos) {
        m_ok = false;
        return nullptr;
    }
    const uint8_t* p = m_bytes.data() + m_pos;
    m_pos += n;
    return p;
}

uint8_t ByteCursor::U8() {
    const uint8_t* p = Need(1);
    return p ? p[0] : 0;
}

uint16_t ByteCursor::U16() {
    const uint8_t* p = Need(2);
    return p ? bytes::GetBE16(p) : 0;
}

uint32_t ByteCursor::U24() {
    const uint8_t* p = Need(3);
    return p ? bytes::GetBE24(p) : 0;
}

uint32_t ByteCursor::U32() {
    const uint8_t* p = Need(4);
    return p ? bytes::GetBE32(p) : 0;
}

uint64_t ByteCursor::U64() {
    const uint8_t* p = Need(8);
    return p ? bytes::GetBE64(p) : 0;
}

void ByteCursor::Skip(size_t n) { Need(n); }

std::span<const uint8_t> ByteCursor::Take(size_t n) {
    const uint8_t* p = Need(n);
    return p ? std::span<const uint8_t>(p, n) : std::span<const uint8_t>();
}

}  // namespace trelvan::mov
