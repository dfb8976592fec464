#include "CraftedMedia.h"

#include <gtest/gtest.h>

#include "ByteOrder.h"

namespace trelvan::test {

void Put32(Bytes& b, size_t at, uint32_t v) {
    bytes::PutLE32(b.data() + at, v);
}
void Put16(Bytes& b, size_t at, uint16_t v) {
    bytes::PutLE16(b.data() + at, v);
}
void Append32(Bytes& b, uint32_t v) {
    uint8_t t[4];
    bytes::PutLE32(t, v);
    b.insert(b.end(), t, t + 4);
}
void Append64(Bytes& b, uint64_t v) {
    Append32(b, static_cast<uint32_t>(v));
    Append32(b, static_cast<uint32_t>(v >> 32));
}
void AppendId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<uint8_t>(id[i]));
    }
}
void AppendChunk(Bytes& b, const char* id, const Bytes& data) {
    AppendId(b, id);
    Append32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) {
        b.push_back(0);
    }
}

size_t FindId(const Bytes& b, const char* id, int nth) {
    size_t at = test::FindFourCC(b, id);
    for (int i = 0; i < nth && at != SIZE_MAX; ++i) {
        at = test::FindFourCC(b, id, at + 4);
    }
    if (at == SIZE_MAX) {
        ADD_FAILURE() << "no " << id << " in the crafted file";
        return 0;
    }
    return at;
}
size_t DataOf(const Bytes& b, const char* id, int nth) {
    return FindId(b, id, nth) + 8;
}

AviTestStream VideoStream(const std::string& compression) {
    AviTestStream v;
    v.type = "vids";
    v.scale = 1;
    v.rate = 25;
    v.format = test::TestBitmapFormat(16, 16, 24, compression);
    return v;
}
AviTestStream AudioStream(uint16_t tag, std::vector<uint8_t> extra) {
    AviTestStream a;
    a.type = "auds";
    a.scale = 4;
    a.rate = 32000;
    a.sampleSize = 4;
    a.format = test::TestWaveFormat(tag, 2, 8000, 4, 16, extra);
    return a;
}

// Ten frames, each followed by its audio (a 25th of a second).
std::vector<AviTestChunk> Interleaved(size_t frame_bytes) {
    std::vector<AviTestChunk> chunks;
    for (int i = 0; i < 10; ++i) {
        chunks.push_back({0, test::Pattern(frame_bytes, static_cast<uint8_t>(i)), i % 5 == 0});
        chunks.push_back({1, test::Pattern(1280, static_cast<uint8_t>(100 + i)), true});
    }
    return chunks;
}

Bytes BaseAvi(AviTestIndex index) {
    return test::BuildTestAvi({VideoStream(), AudioStream()}, Interleaved(), index);
}

Bytes Wav(const Bytes& fmt, const Bytes& data, const char* riff) {
    Bytes b;
    AppendId(b, riff);
    Append32(b, 0);
    AppendId(b, "WAVE");
    AppendChunk(b, "fmt ", fmt);
    AppendChunk(b, "data", data);
    Put32(b, 4, static_cast<uint32_t>(b.size() - 8));
    return b;
}

Bytes PcmFormat() {
    return test::TestWaveFormat(1, 2, 8000, 4, 16);
}

Bytes BaseWav() {
    return Wav(PcmFormat(), test::Pattern(8000, 3));
}

Bytes MpegLikeData(size_t frames) {
    Bytes d;
    for (size_t i = 0; i < frames; ++i) {
        const Bytes payload = test::Pattern(413, static_cast<uint8_t>(i));
        d.insert(d.end(), {0xFF, 0xFB, 0x90, 0x64});
        d.insert(d.end(), payload.begin(), payload.end());
    }
    return d;
}

Bytes Ac3LikeData(size_t frames) {
    Bytes d;
    for (size_t i = 0; i < frames; ++i) {
        Bytes f = test::Pattern(768, static_cast<uint8_t>(i));
        f[0] = 0x0B;
        f[1] = 0x77;
        f[4] = 0x1C;  // 48 kHz, largest frame size code
        d.insert(d.end(), f.begin(), f.end());
    }
    return d;
}

void PatchStrh(Bytes& b, int nth, size_t field, uint32_t value) {
    Put32(b, DataOf(b, "strh", nth) + field, value);
}

std::vector<AviTestChunk> TinyChunks(size_t n) {
    std::vector<AviTestChunk> chunks;
    chunks.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        chunks.push_back({0, {}, i % 50 == 0});
    }
    return chunks;
}

Bytes ListsOfSizeZero(const char* type, int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) {
        AppendId(b, "LIST");
        Append32(b, 0);
        AppendId(b, type);
        Append32(b, 4);
        Append32(b, 0);
    }
    return b;
}

Bytes WithHeaderList(Bytes b, const Bytes& hdrl) {
    const size_t at = FindId(b, "hdrl") - 8;
    const size_t end = at + 8 + bytes::GetLE32(b.data() + at + 4);
    Bytes list;
    AppendId(list, "LIST");
    Append32(list, static_cast<uint32_t>(hdrl.size() + 4));
    AppendId(list, "hdrl");
    list.insert(list.end(), hdrl.begin(), hdrl.end());
    b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
            b.begin() + static_cast<std::ptrdiff_t>(end));
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), list.begin(), list.end());
    Put32(b, 4, static_cast<uint32_t>(b.size() - 8));
    return b;
}

Bytes ChunkBytes(const Bytes& b, const char* id, int nth) {
    const size_t at = FindId(b, id, nth);
    const size_t n = 8 + bytes::GetLE32(b.data() + at + 4);
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at),
                 b.begin() + static_cast<std::ptrdiff_t>(at + n + (n & 1)));
}

}  // namespace trelvan::test
