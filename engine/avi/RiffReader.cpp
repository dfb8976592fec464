#include "RiffReader.h"

#include <algorithm>
#include <cstring>

#include "ByteOrder.h"

namespace trelvan {
namespace {

bool IsHexDigit(uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool IsAlnum(uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
int HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return c - 'a' + 10;
}

}  // namespace

// Chunk headers come out of a 64 KiB window; reads over 16 KiB go straight
// to the file.
RiffReader::RiffReader(IoFile& file, uint64_t file_size, bool big_endian)
    : m_file(file), m_fileSize(file_size), m_bigEndian(big_endian), m_window(64 * 1024, 16 * 1024 + 1) {}

bool RiffReader::Read(uint64_t pos, void* buf, size_t n) {
    if (pos > m_fileSize || n > m_fileSize - pos) {
        return false;
    }
    return m_window.ReadExact(m_file, pos, buf, n);
}

bool RiffReader::HeaderAt(uint64_t pos, RiffChunk* chunk) {
    uint8_t h[12];
    const bool whole = Read(pos, h, 12);
    if (!whole && !Read(pos, h, 8)) {
        return false;
    }
    chunk->pos = pos;
    chunk->id = bytes::GetLE32(h);
    chunk->size = m_bigEndian ? bytes::GetBE32(h + 4) : bytes::GetLE32(h + 4);
    chunk->listType = 0;
    if (chunk->id == bytes::FourCC("RIFF") || chunk->id == bytes::FourCC("LIST") ||
        chunk->id == bytes::FourCC("RIFX") || chunk->id == bytes::FourCC("RF64") ||
        chunk->id == bytes::FourCC("BW64")) {
        if (!whole) {
            return false;
        }
        chunk->listType = bytes::GetLE32(h + 8);
    }
    return true;
}

bool IsDataChunkId(uint32_t id) {
    const uint8_t c0 = id & 0xFF, c1 = (id >> 8) & 0xFF, c2 = (id >> 16) & 0xFF, c3 = id >> 24;
    return IsHexDigit(c0) && IsHexDigit(c1) && IsAlnum(c2) && IsAlnum(c3);
}

int StreamOfChunkId(uint32_t id) {
    if (!IsDataChunkId(id)) {
        return -1;
    }
    const uint8_t c0 = id & 0xFF, c1 = (id >> 8) & 0xFF;
    const bool decimal = c0 <= '9' && c1 <= '9';
    return decimal ? (c0 - '0') * 10 + (c1 - '0') : HexValue(c0) * 16 + HexValue(c1);
}

}  // namespace trelvan
