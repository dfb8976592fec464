#include "AviTestFile.h"

#include <cstdio>
#include <cstring>

#include "ByteOrder.h"

namespace trelvan::test {
namespace {

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    uint8_t t[4];
    bytes::PutLE32(t, v);
    b.insert(b.end(), t, t + 4);
}
void Put16(std::vector<uint8_t>& b, uint16_t v) {
    uint8_t t[2];
    bytes::PutLE16(t, v);
    b.insert(b.end(), t, t + 2);
}
void Put64(std::vector<uint8_t>& b, uint64_t v) {
    Put32(b, static_cast<uint32_t>(v));
    Put32(b, static_cast<uint32_t>(v >> 32));
}
void PutId(std::vector<uint8_t>& b, const std::string& id) {
    char t[4] = {' ', ' ', ' ', ' '};
    std::memcpy(t, id.data(), std::min<size_t>(4, id.size()));
    b.insert(b.end(), t, t + 4);
}
// Appends a chunk with its pad byte.
void PutChunk(std::vector<uint8_t>& b, const std::string& id, const std::vector<uint8_t>& data) {
    PutId(b, id);
    Put32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) {
        b.push_back(0);
    }
}
// Starts a LIST/RIFF; returns the position of its size field.
size_t Begin(std::vector<uint8_t>& b, const std::string& id, const std::string& type) {
    PutId(b, id);
    const size_t at = b.size();
    Put32(b, 0);
    PutId(b, type);
    return at;
}
void End(std::vector<uint8_t>& b, size_t at) {
    bytes::PutLE32(b.data() + at, static_cast<uint32_t>(b.size() - at - 4));
}
std::string ChunkId(int stream, const AviTestStream& s) {
    char id[5];
    std::snprintf(id, sizeof id, "%02d%s", stream,
                  s.type == "vids" ? "dc" : (s.type == "auds" ? "wb" : "tx"));
    return id;
}

}  // namespace

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return v;
}

std::vector<uint8_t> TestBitmapFormat(int32_t width, int32_t height, uint16_t bits,
                                      const std::string& compression,
                                      const std::vector<uint8_t>& tail) {
    std::vector<uint8_t> f;
    Put32(f, 40);
    Put32(f, static_cast<uint32_t>(width));
    Put32(f, static_cast<uint32_t>(height));
    Put16(f, 1);
    Put16(f, bits);
    if (compression.empty()) {
        Put32(f, 0);
    } else {
        PutId(f, compression);
    }
    Put32(f, 0);
    Put32(f, 0);
    Put32(f, 0);
    Put32(f, 0);
    Put32(f, 0);
    f.insert(f.end(), tail.begin(), tail.end());
    return f;
}

std::vector<uint8_t> TestWaveFormat(uint16_t tag, uint16_t channels, uint32_t rate,
                                    uint16_t block_align, uint16_t bits,
                                    const std::vector<uint8_t>& extra, int cb_size) {
    std::vector<uint8_t> f;
    Put16(f, tag);
    Put16(f, channels);
    Put32(f, rate);
    Put32(f, rate * block_align);
    Put16(f, block_align);
    Put16(f, bits);
    Put16(f, static_cast<uint16_t>(cb_size >= 0 ? cb_size : static_cast<int>(extra.size())));
    f.insert(f.end(), extra.begin(), extra.end());
    return f;
}

std::string Crc32Hex(const uint8_t* data, size_t n) {
    // The CRC-32 of zlib and of ffprobe's CRC32 hash (reflected 0xEDB88320,
    // all bits set at the start and inverted at the end).
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", crc ^ 0xFFFFFFFFu);
    return hex;
}

size_t FindFourCC(const std::vector<uint8_t>& bytes, const char* fourcc, size_t from) {
    for (size_t i = from; i + 4 <= bytes.size(); ++i) {
        if (std::memcmp(bytes.data() + i, fourcc, 4) == 0) {
            return i;
        }
    }
    return SIZE_MAX;
}

std::vector<uint8_t> BuildTestAvi(const std::vector<AviTestStream>& streams,
                                  const std::vector<AviTestChunk>& chunks, AviTestIndex index) {
    std::vector<uint8_t> b;
    const size_t riff = Begin(b, "RIFF", "AVI ");
    const size_t hdrl = Begin(b, "LIST", "hdrl");
    std::vector<uint8_t> avih;
    for (uint32_t v : {40000u, 0u, 0u, 0x10u, 0u, 0u, static_cast<uint32_t>(streams.size()), 0u, 0u,
                       0u, 0u, 0u, 0u, 0u}) {
        Put32(avih, v);
    }
    PutChunk(b, "avih", avih);
    std::vector<size_t> indx_at(streams.size());
    for (size_t i = 0; i < streams.size(); ++i) {
        const AviTestStream& s = streams[i];
        const size_t strl = Begin(b, "LIST", "strl");
        std::vector<uint8_t> strh;
        PutId(strh, s.type);
        if (s.handler.empty()) {
            Put32(strh, 0);
        } else {
            PutId(strh, s.handler);
        }
        Put32(strh, 0);
        Put16(strh, s.priority);
        Put16(strh, 0);
        for (uint32_t v :
             {0u, s.scale, s.rate, s.start, s.headerLength, 0u, 0xFFFFFFFFu, s.sampleSize}) {
            Put32(strh, v);
        }
        Put32(strh, 0);
        Put32(strh, 0);
        PutChunk(b, "strh", strh);
        PutChunk(b, "strf", s.format);
        if (!s.name.empty()) {
            std::vector<uint8_t> n(s.name.begin(), s.name.end());
            n.push_back(0);
            PutChunk(b, "strn", n);
        }
        if (index == AviTestIndex::OpenDml) {
            // A super index with one entry, patched once the standard index
            // is written.
            indx_at[i] = b.size();
            std::vector<uint8_t> indx;
            Put16(indx, 4);
            indx.push_back(0);
            indx.push_back(0);
            Put32(indx, s.superRepeat);
            PutId(indx, ChunkId(static_cast<int>(i), s));
            Put32(indx, 0);
            Put32(indx, 0);
            Put32(indx, 0);
            for (uint32_t k = 0; k < s.superRepeat; ++k) {
                Put64(indx, 0);
                Put32(indx, 0);
                Put32(indx, 0);
            }
            PutChunk(b, "indx", indx);
        }
        End(b, strl);
    }
    End(b, hdrl);
    const size_t movi = Begin(b, "LIST", "movi");
    const size_t movi_fourcc = movi + 4;
    struct Placed {
        size_t header;
        const AviTestChunk* chunk;
    };
    std::vector<Placed> placed;
    for (const AviTestChunk& c : chunks) {
        placed.push_back({b.size(), &c});
        PutChunk(b, ChunkId(c.stream, streams[static_cast<size_t>(c.stream)]), c.data);
    }
    if (index == AviTestIndex::OpenDml) {
        for (size_t i = 0; i < streams.size(); ++i) {
            std::vector<uint8_t> ix;
            uint32_t n = 0;
            for (const Placed& p : placed) {
                n += p.chunk->stream == static_cast<int>(i) ? 1 : 0;
            }
            Put16(ix, 2);
            ix.push_back(0);
            ix.push_back(1);
            Put32(ix, n);
            PutId(ix, ChunkId(static_cast<int>(i), streams[i]));
            Put64(ix, movi_fourcc);
            Put32(ix, 0);
            for (const Placed& p : placed) {
                if (p.chunk->stream == static_cast<int>(i)) {
                    Put32(ix, static_cast<uint32_t>(p.header + 8 - movi_fourcc));
                    Put32(ix, static_cast<uint32_t>(p.chunk->data.size()) |
                                  (p.chunk->key ? 0u : 0x80000000u));
                }
            }
            const size_t ix_pos = b.size();
            char id[5];
            std::snprintf(id, sizeof id, "ix%02u", static_cast<unsigned>(i % 100));
            PutChunk(b, id, ix);
            for (uint32_t k = 0; k < streams[i].superRepeat; ++k) {
                uint8_t* e = b.data() + indx_at[i] + 8 + 24 + 16 * k;
                bytes::PutLE64(e, ix_pos);
                bytes::PutLE32(e + 8, static_cast<uint32_t>(ix.size() + 8));
                bytes::PutLE32(e + 12, n);
            }
        }
    }
    End(b, movi);
    if (index == AviTestIndex::Idx1Relative || index == AviTestIndex::Idx1Absolute) {
        std::vector<uint8_t> idx;
        for (const Placed& p : placed) {
            PutId(idx, ChunkId(p.chunk->stream, streams[static_cast<size_t>(p.chunk->stream)]));
            Put32(idx, p.chunk->key ? 0x10 : 0);
            Put32(idx,
                  static_cast<uint32_t>(index == AviTestIndex::Idx1Relative ? p.header - movi_fourcc
                                                                            : p.header));
            Put32(idx, static_cast<uint32_t>(p.chunk->data.size()));
        }
        PutChunk(b, "idx1", idx);
    }
    End(b, riff);
    return b;
}

}  // namespace trelvan::test
