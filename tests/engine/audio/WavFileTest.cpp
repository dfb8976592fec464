#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>

#include "ByteOrder.h"
#include "CMMio.h"
#include "CWaveFileACM.h"
#include "Fixtures.h"
#include "IoFile.h"
#include "Probe.h"
#include "WaveFormatEx.h"

namespace {

using namespace trelvan;
using trelvan::test::ReadBytes;
using trelvan::test::ScratchDir;
using trelvan::test::WriteBytes;

std::vector<uint8_t> FormatBytes(uint16_t tag, uint16_t ch, uint32_t rate, uint32_t avg,
                                 uint16_t align, uint16_t bits, std::vector<uint8_t> extra = {}) {
    WAVEFORMATEX f{tag, ch, rate, avg, align, bits, static_cast<uint16_t>(extra.size())};
    std::vector<uint8_t> b(18 + extra.size());
    WriteWaveFormat(f, b.data());
    std::copy(extra.begin(), extra.end(), b.begin() + 18);
    return b;
}

std::vector<uint8_t> Pcm(uint16_t ch, uint32_t rate, uint16_t bits) {
    const uint16_t align = static_cast<uint16_t>(ch * bits / 8);
    return FormatBytes(kWaveFormatPcm, ch, rate, rate * align, align, bits);
}

// The 12 tail bytes of an MPEG layer 3 record: id 1, padding flags 2,
// frame size 418, 1 frame per block, codec delay 1393.
std::vector<uint8_t> Mp3Tail() {
    std::vector<uint8_t> t(12);
    bytes::PutLE16(t.data(), 1);
    bytes::PutLE32(t.data() + 2, 2);
    bytes::PutLE16(t.data() + 6, 418);
    bytes::PutLE16(t.data() + 8, 1);
    bytes::PutLE16(t.data() + 10, 1393);
    return t;
}

// MPEG-1 layer 3 frames at 128 kbit/s and 44.1 kHz, each with its padding
// byte (418 bytes), holding patterned bytes after the header.
std::vector<uint8_t> Mp3Frames(int n) {
    std::vector<uint8_t> d;
    for (int i = 0; i < n; ++i) {
        const uint8_t head[4] = {0xFF, 0xFB, 0x92, 0x64};
        d.insert(d.end(), head, head + 4);
        for (int k = 4; k < 418; ++k) {
            d.push_back(static_cast<uint8_t>(k * 7 + i));
        }
    }
    return d;
}

struct Chunk {
    std::string id;
    uint32_t size;
    size_t offset;  // of the data
};

// Walks the top level of a written file by hand, independently of CMMio.
std::vector<Chunk> Chunks(const std::vector<uint8_t>& f) {
    std::vector<Chunk> out;
    size_t pos = 12;
    while (pos + 8 <= f.size()) {
        const uint32_t size = bytes::GetLE32(&f[pos + 4]);
        out.push_back({std::string(f.begin() + pos, f.begin() + pos + 4), size, pos + 8});
        pos += 8 + size + (size & 1);
    }
    return out;
}

std::string WriteFile(const std::string& name, const std::vector<uint8_t>& format,
                      const std::vector<uint8_t>& data) {
    const std::string path = ScratchDir() + "/" + name;
    CWaveFileACM w;
    w.SetFileFormat(format.data(), format.size());
    EXPECT_NE(w.OpenWrite(path), 0);
    if (!data.empty()) {
        EXPECT_EQ(w.WriteRaw(data.data(), static_cast<int32_t>(data.size())),
                  static_cast<int32_t>(data.size()));
    }
    w.Close();
    return path;
}

TEST(WavFileTest, EmptyPcmFileIsExactly56Bytes) {
    const auto f = ReadBytes(WriteFile("empty.wav", Pcm(2, 44100, 16), {}));
    std::vector<uint8_t> want = {'R', 'I', 'F', 'F', 48,  0,   0,  0, 'W', 'A',
                                 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,   0};
    const auto fmt = Pcm(2, 44100, 16);
    want.insert(want.end(), fmt.begin(), fmt.begin() + 16);
    const uint8_t tail[] = {'f', 'a', 'c', 't', 4,   0,   0, 0, 0, 0,
                            0,   0,   'd', 'a', 't', 'a', 0, 0, 0, 0};
    want.insert(want.end(), std::begin(tail), std::end(tail));
    EXPECT_EQ(f, want);
}

// The sizes and the fact value of finished files, byte for byte.
TEST(WavFileTest, SizesFactAndPadByteOfWrittenFiles) {
    struct Case {
        const char* name;
        std::vector<uint8_t> format;
        size_t data;
        uint32_t fmt_size, fact;
    };
    const auto alaw = FormatBytes(kWaveFormatAlaw, 2, 8000, 16000, 2, 8);
    const Case cases[] = {
        {"pcm16", Pcm(2, 44100, 16), 1000, 16, 250},
        {"odd", Pcm(1, 8000, 8), 1001, 16, 1001},
        {"mp3", FormatBytes(kWaveFormatMpegLayer3, 2, 44100, 16000, 1, 0, Mp3Tail()), 4180, 30,
         11520},
        // A 16-byte record without the extra-bytes count: written with a count of 0.
        {"alaw16", std::vector<uint8_t>(alaw.begin(), alaw.begin() + 16), 1000, 18, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> data(c.data);
        std::iota(data.begin(), data.end(), 1);
        if (bytes::GetLE16(c.format.data()) == kWaveFormatMpegLayer3) {
            data = Mp3Frames(static_cast<int>(c.data / 418));
        }
        const std::string path = WriteFile(std::string(c.name) + ".wav", c.format, data);
        const auto f = ReadBytes(path);
        const auto ck = Chunks(f);
        ASSERT_EQ(ck.size(), 3u);
        EXPECT_EQ(ck[0].id, "fmt ");
        EXPECT_EQ(ck[0].size, c.fmt_size);
        auto format = c.format;
        format.resize(c.fmt_size);  // a short record reads with an extra-bytes count of 0
        EXPECT_TRUE(std::equal(format.begin(), format.end(), f.begin() + 20));
        EXPECT_EQ(ck[1].id, "fact");
        EXPECT_EQ(ck[1].size, 4u);
        EXPECT_EQ(bytes::GetLE32(&f[ck[1].offset]), c.fact);
        EXPECT_EQ(ck[2].id, "data");
        EXPECT_EQ(ck[2].size, c.data);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), f.begin() + ck[2].offset));
        const size_t pad = c.data & 1;
        EXPECT_EQ(f.size(), ck[2].offset + c.data + pad);
        if (pad) {
            EXPECT_EQ(f.back(), 0);
        }
        EXPECT_EQ(bytes::GetLE32(&f[4]), f.size() - 8);
        if (bytes::GetLE16(c.format.data()) != kWaveFormatMpegLayer3) {
            // An independent reader sees the same bytes.
            std::vector<uint8_t> probed;
            for (const auto& p : test::ProbePackets(path, "a:0")) {
                probed.insert(probed.end(), p.data.begin(), p.data.end());
            }
            EXPECT_TRUE(probed == data);
        }
    }
}

TEST(WavFileTest, FormatWithMoreThan237ExtraBytesIsKeptAs256) {
    std::vector<uint8_t> extra(300, 0xAB);
    const auto format = FormatBytes(0x674F, 2, 44100, 16000, 1, 0, extra);
    CWaveFileACM w;
    w.SetFileFormat(format.data(), format.size());
    ASSERT_EQ(w.GetFileFormat().size(), 256u);
    EXPECT_TRUE(std::equal(format.begin(), format.begin() + 256, w.GetFileFormat().begin()));
    // The format chunk would need 318 bytes of a 256-byte block: refused
    // instead of writing bytes that are not there.
    EXPECT_EQ(w.OpenWrite(ScratchDir() + "/long.wav"), 0);

    const auto small = FormatBytes(kWaveFormatImaAdpcm, 1, 22050, 11100, 256, 4, {0xF9, 0x01});
    w.SetFileFormat(small.data(), small.size());
    ASSERT_EQ(w.GetFileFormat().size(), 256u);
    EXPECT_TRUE(std::equal(small.begin(), small.end(), w.GetFileFormat().begin()));
    EXPECT_EQ(w.GetFileFormat()[20], 0);
}

TEST(WavFileTest, RawWriteOfNothingAndCloseOfAnUnopenedFile) {
    CWaveFileACM w;
    w.Close();  // only resets
    uint8_t b[4] = {};
    EXPECT_EQ(w.WriteRaw(b, 4), 0);  // not open
    const std::string path = ScratchDir() + "/n.wav";
    const auto fmt = Pcm(1, 8000, 16);
    w.SetFileFormat(fmt.data(), fmt.size());
    ASSERT_NE(w.OpenWrite(path), 0);
    EXPECT_EQ(w.OpenWrite(path), 0);  // already open
    EXPECT_EQ(w.WriteRaw(b, 0), 0);
    EXPECT_EQ(w.Write(b, 0), 0);
    EXPECT_EQ(w.Read(b, 4), 0);  // open for writing, not reading
    w.Close();
    EXPECT_EQ(ReadBytes(path).size(), 56u);
    // Reusable after Close: the data format (PCM now) stays and the file is
    // written in it when no file format is given.
    w.SetFileFormat(nullptr, 0);
    ASSERT_NE(w.OpenWrite(path), 0);
    EXPECT_EQ(w.WriteRaw(b, 4), 4);
    w.Close();
    EXPECT_EQ(ReadBytes(path).size(), 60u);
}

// Formats that make no sense are refused before any division or read past
// the block.
TEST(WavFileTest, BadFormatBlocksFailOpenWrite) {
    struct Case {
        const char* name;
        std::vector<uint8_t> format;
    };
    auto shortened = Pcm(2, 44100, 16);
    shortened.resize(14);
    auto ima_cut = FormatBytes(kWaveFormatImaAdpcm, 1, 22050, 11100, 256, 4, {0xF9, 0x01});
    ima_cut.resize(19);  // announces 2 extra bytes, holds 1
    const Case cases[] = {
        {"short", shortened},
        {"pcm align 0", FormatBytes(kWaveFormatPcm, 2, 44100, 176400, 0, 16)},
        {"pcm channels 0", FormatBytes(kWaveFormatPcm, 0, 44100, 176400, 4, 16)},
        {"pcm rate 0", FormatBytes(kWaveFormatPcm, 2, 0, 176400, 4, 16)},
        {"ima align 0", FormatBytes(kWaveFormatImaAdpcm, 1, 22050, 11100, 0, 4, {0xF9, 0x01})},
        {"ima channels 0", FormatBytes(kWaveFormatImaAdpcm, 0, 22050, 11100, 256, 4, {0xF9, 0x01})},
        {"ima rate 0", FormatBytes(kWaveFormatImaAdpcm, 1, 0, 11100, 256, 4, {0xF9, 0x01})},
        {"extra past block", ima_cut},
        // 20 bytes a second: one 12 KiB step would stand for 118 MB of PCM.
        {"mp3 absurd byte rate", FormatBytes(kWaveFormatMpegLayer3, 2, 48000, 20, 1, 0, Mp3Tail())},
        {"unknown tag", FormatBytes(0x7777, 2, 44100, 16000, 1, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CWaveFileACM w;
        w.SetFileFormat(c.format.data(), c.format.size());
        EXPECT_EQ(w.OpenWrite(ScratchDir() + "/bad.wav"), 0);
        w.Close();
    }
    // No file format and a data format that is not PCM.
    CWaveFileACM w;
    EXPECT_EQ(w.OpenWrite(ScratchDir() + "/bad.wav"), 0);
}

std::vector<uint8_t> RiffFile(
    const std::vector<std::pair<std::string, std::vector<uint8_t>>>& chunks,
    const char* form = "WAVE") {
    std::vector<uint8_t> f = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        f.push_back(static_cast<uint8_t>(form[i]));
    }
    for (const auto& [id, body] : chunks) {
        for (char ch : id) {
            f.push_back(static_cast<uint8_t>(ch));
        }
        for (int i = 0; i < 4; ++i) {
            f.push_back(static_cast<uint8_t>(body.size() >> (8 * i)));
        }
        f.insert(f.end(), body.begin(), body.end());
        if (body.size() & 1) {
            f.push_back(0);
        }
    }
    bytes::PutLE32(&f[4], static_cast<uint32_t>(f.size() - 8));
    return f;
}

TEST(WavFileTest, BadFilesFailOpenReadOrReadOnlyWhatIsThere) {
    auto pcm = Pcm(1, 8000, 8);
    pcm.resize(16);
    const std::vector<uint8_t> audio(100, 0x80);
    auto past_eof = RiffFile({{"fmt ", pcm}, {"data", audio}});
    bytes::PutLE32(&past_eof[past_eof.size() - 104], 100000);  // data size past the end
    auto ima = FormatBytes(kWaveFormatImaAdpcm, 1, 8000, 4055, 256, 4, {0xF9, 0x01});
    auto ima_big_extra = ima;
    bytes::PutLE16(&ima_big_extra[16], 40);
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        bool opens;
        size_t readable;
    };
    const Case cases[] = {
        {"empty", {}, false, 0},
        {"not RIFF", std::vector<uint8_t>(64, 'x'), false, 0},
        {"AVI form", RiffFile({{"fmt ", pcm}, {"data", audio}}, "AVI "), false, 0},
        {"short fmt", RiffFile({{"fmt ", std::vector<uint8_t>(14, 1)}, {"data", audio}}), false, 0},
        {"no data", RiffFile({{"fmt ", pcm}}), false, 0},
        {"block align 0",
         RiffFile({{"fmt ", FormatBytes(1, 1, 8000, 8000, 0, 8)}, {"data", audio}}), false, 0},
        {"extra past fmt", RiffFile({{"fmt ", ima_big_extra}, {"data", audio}}), false, 0},
        {"absurd byte rate",
         RiffFile({{"fmt ", FormatBytes(kWaveFormatMpegLayer3, 2, 48000, 20, 1, 0, Mp3Tail())},
                   {"data", audio}}),
         false, 0},
        {"data past end", past_eof, true, 100},
        {"fine", RiffFile({{"fmt ", pcm}, {"LIST", std::vector<uint8_t>(9, 0)}, {"data", audio}}),
         true, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = ScratchDir() + "/in.wav";
        WriteBytes(path, c.file);
        CWaveFileACM r;
        ASSERT_EQ(r.OpenRead(path) != 0, c.opens);
        std::vector<uint8_t> got(1000);
        const int32_t n = r.Read(got.data(), 1000);
        EXPECT_EQ(n, static_cast<int32_t>(c.readable));
        r.Close();
    }
}

TEST(WavFileTest, MmioReadIsAllOrNothing) {
    const std::string path = WriteFile("r.wav", Pcm(1, 8000, 8), std::vector<uint8_t>(11, 7));
    CMMio m;
    ASSERT_TRUE(m.OpenRead(path));
    uint8_t fmt[16];
    ASSERT_EQ(m.Read(fmt, 16), 16);
    ASSERT_TRUE(m.DescendToData());
    EXPECT_EQ(m.GetDataSize(), 11u);
    uint8_t b[16];
    EXPECT_EQ(m.Read(b, 8), 8);
    EXPECT_EQ(m.Read(b, 8), 0);  // 3 data bytes and the pad byte are left
    EXPECT_EQ(m.Read(b, 4), 4);  // mmio reads past the chunk, as the platform does
    EXPECT_TRUE(m.FinishRead());
    EXPECT_TRUE(m.Close());
}

// The RIFF size may not pass its 32-bit field: a write that would is refused
// whole, the caller stops, and the file is finished valid with what came
// before. The limit is lowered here to cross it with a small file.
TEST(WavFileTest, WriteThatWouldPassTheRiffLimitIsRefusedAndTheFileStaysValid) {
    const std::string path = ScratchDir() + "/limit.wav";
    const auto fmt = Pcm(1, 8000, 8);
    CWaveFileACM w;
    w.SetRiffSizeLimit(1000);
    w.SetFileFormat(fmt.data(), fmt.size());
    ASSERT_NE(w.OpenWrite(path), 0);
    std::vector<uint8_t> block(301);
    std::iota(block.begin(), block.end(), 0);
    int written = 0;
    while (w.WriteRaw(block.data(), 301) == 301) {
        ++written;
    }
    // 56 header bytes + 3 x 301 = 959: RIFF size 952 with the pad byte; a
    // fourth block would pass 1000.
    EXPECT_EQ(written, 3);
    EXPECT_EQ(w.WriteRaw(block.data(), 47), 47);  // 1006: RIFF size 998
    EXPECT_EQ(w.WriteRaw(block.data(), 3), 0);    // 1009 + pad - 8 = 1002: refused
    EXPECT_EQ(w.WriteRaw(block.data(), 2), 2);    // 1008: exactly at the limit
    EXPECT_TRUE(w.SizeLimitReached());
    w.Close();
    const auto f = ReadBytes(path);
    EXPECT_EQ(bytes::GetLE32(&f[4]), 1000u);
    EXPECT_EQ(f.size(), 1008u);
    EXPECT_EQ(bytes::GetLE32(&f[52]), 3u * 301 + 47 + 2);
    EXPECT_EQ(bytes::GetLE32(&f[44]), 3u * 301 + 47 + 2);  // fact: 8-bit mono
    const auto packets = test::ProbePackets(path, "a:0");
    size_t total = 0;
    for (const auto& p : packets) {
        total += p.data.size();
    }
    EXPECT_EQ(total, 3u * 301 + 47 + 2);
}

// A full disk: the write that fails reports 0, and Close finishes the file
// with the whole blocks that reached the disk, sizes and fact to match, and
// says that the file is not complete.
TEST(WavFileTest, DiskFullLeavesAValidFileOfWhatLanded) {
    for (const uint16_t bits : {16, 24}) {
        const std::string path = ScratchDir() + "/full.wav";
        CWaveFileACM w;
        w.SetFileOpener([](const std::string& p, OpenMode mode) -> std::unique_ptr<IoFile> {
            auto disk = OpenDiskFile(p, mode);
            if (!disk) {
                return nullptr;
            }
            return std::make_unique<FaultyFile>(std::move(disk), 3u << 20);
        });
        const auto fmt = Pcm(1, 44100, bits);
        const uint32_t block = bits / 8;
        w.SetFileFormat(fmt.data(), fmt.size());
        ASSERT_NE(w.OpenWrite(path), 0);
        std::vector<uint8_t> data(400001);
        for (size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<uint8_t>(i * 7);
        }
        int ok = 0;
        while (ok < 100 && w.WriteRaw(data.data(), 400001) == 400001) {
            ++ok;
        }
        EXPECT_LT(ok, 100);
        EXPECT_GE(ok, 5);
        EXPECT_FALSE(w.SizeLimitReached());
        w.Close();
        EXPECT_FALSE(w.WriteComplete());
        const auto f = ReadBytes(path);
        ASSERT_GE(f.size(), 56u);
        const uint32_t dataSize = bytes::GetLE32(&f[52]);
        EXPECT_EQ(dataSize % block, 0u) << bits;
        EXPECT_GT(dataSize, 2u << 20) << bits;
        EXPECT_EQ(56u + dataSize + (dataSize & 1), f.size()) << bits;
        EXPECT_EQ(bytes::GetLE32(&f[4]), f.size() - 8) << bits;
        EXPECT_EQ(bytes::GetLE32(&f[44]), dataSize / block) << bits;  // fact
        // The bytes kept are the bytes written.
        for (uint32_t i = 0; i < dataSize; i += 4099) {
            ASSERT_EQ(f[56 + i], data[i % 400001]) << bits << " at " << i;
        }
    }
}

TEST(WavFileTest, WriteFailsWhenTheFileCannotBeCreated) {
    CWaveFileACM w;
    const auto fmt = Pcm(2, 44100, 16);
    w.SetFileFormat(fmt.data(), fmt.size());
    EXPECT_EQ(w.OpenWrite(ScratchDir() + "/no/such/folder/x.wav"), 0);
    w.SetFileOpener([](const std::string& p, OpenMode mode) -> std::unique_ptr<IoFile> {
        return std::make_unique<FaultyFile>(OpenDiskFile(p, mode), 30);  // header cannot land
    });
    w.SetFileFormat(fmt.data(), fmt.size());
    EXPECT_EQ(w.OpenWrite(ScratchDir() + "/y.wav"), 0);
}

}  // namespace
