#include "AtomWriter.h"

#include "ByteOrder.h"

namespace trelvan::mov {

void AtomWriter::Begin(uint32_t type) {
    m_open.push_back(m_bytes.size());
    U32(0);
    U32(type);
}

void AtomWriter::BeginFull(uint32_t type, uint8_t version, uint32_t flags) {
    Begin(type);
    U8(version);
    U24(flags);
}

void AtomWriter::End() {
    if (m_open.empty()) {
        return;
    }
    const size_t start = m_open.back();
    m_open.pop_back();
    const uint64_t size = m_bytes.size() - start;
    if (size <= UINT32_MAX) {
        bytes::PutBE32(m_bytes.data() + start, static_cast<uint32_t>(size));
        return;
    }
    // The 64-bit form: size 1, the type, then the real size.
    uint8_t large[8];
    bytes::PutBE64(large, size + 8);
    m_bytes.insert(m_bytes.begin() + static_cast<std::ptrdiff_t>(start + 8), large, large + 8);
    bytes::PutBE32(m_bytes.data() + start, 1);
}

void AtomWriter::U16(uint16_t v) {
    uint8_t b[2];
    bytes::PutBE16(b, v);
    Put(b);
}

void AtomWriter::U24(uint32_t v) {
    uint8_t b[3];
    bytes::PutBE24(b, v);
    Put(b);
}

void AtomWriter::U32(uint32_t v) {
    uint8_t b[4];
    bytes::PutBE32(b, v);
    Put(b);
}

void AtomWriter::U64(uint64_t v) {
    uint8_t b[8];
    bytes::PutBE64(b, v);
    Put(b);
}

}  // namespace trelvan::mov
