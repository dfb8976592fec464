#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "AviFile.h"
#include "AviTestFile.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "IoFile.h"
#include "Probe.h"
#include "Process.h"

namespace {

using namespace trelvan;
using namespace trelvan::test;

std::shared_ptr<AviFile> OpenBytes(const std::vector<uint8_t>& bytes, int32_t* error) {
    return AviFile::OpenFile(std::make_unique<MemFile>(bytes), error);
}

// Every stored chunk of a stream, read one by one.
std::vector<std::vector<uint8_t>> AllChunks(AviStream& s) {
    std::vector<std::vector<uint8_t>> out;
    for (int64_t i = 0; i < s.ChunkCount(); ++i) {
        std::vector<uint8_t> b(s.ChunkSize(i));
        EXPECT_EQ(s.ReadChunk(i, b.data(), static_cast<int64_t>(b.size())), err::kOk);
        out.push_back(std::move(b));
    }
    return out;
}

// The whole stream read sample by sample with convenient reads, as the
// readers do.
std::vector<uint8_t> ReadWholeStream(AviStream& s, int64_t buffer = 4096) {
    std::vector<uint8_t> all, buf;
    for (int32_t pos = s.Start(); pos < s.Start() + s.Length();) {
        int64_t bytes = 0;
        int32_t samples = 0;
        if (s.Read(pos, kReadConvenient, nullptr, 0, &bytes, &samples) != err::kOk) {
            ADD_FAILURE() << "size query failed at " << pos;
            break;
        }
        buf.resize(static_cast<size_t>(std::max<int64_t>(bytes, buffer)));
        if (s.Read(pos, kReadConvenient, buf.data(), static_cast<int64_t>(buf.size()), &bytes,
                   &samples) != err::kOk ||
            samples <= 0) {
            ADD_FAILURE() << "read failed at " << pos;
            break;
        }
        all.insert(all.end(), buf.begin(), buf.begin() + bytes);
        pos += samples;
    }
    return all;
}

// The main check: what the layer reads agrees with ffprobe/ffmpeg, packet by
// packet (bytes and key flag) for streams of one chunk per sample, and byte
// for byte over the whole stream for streams of fixed-size samples (whose
// packets another reader may cut differently).
void ExpectSameAsProbe(const std::string& path, AviStream& s, const std::string& selector) {
    SCOPED_TRACE(path + " " + selector);
    const std::vector<ProbedPacket> packets = ProbePackets(path, selector);
    if (s.SampleSize() == 0) {
        // The other reader leaves out chunks of 0 bytes (dropped frames).
        std::vector<int64_t> stored;
        for (int64_t i = 0; i < s.ChunkCount(); ++i) {
            if (s.ChunkSize(i) > 0) {
                stored.push_back(i);
            }
        }
        ASSERT_EQ(stored.size(), packets.size());
        for (size_t i = 0; i < packets.size(); ++i) {
            std::vector<uint8_t> b(s.ChunkSize(stored[i]));
            ASSERT_EQ(s.ReadChunk(stored[i], b.data(), static_cast<int64_t>(b.size())), err::kOk);
            ASSERT_EQ(b, packets[i].data) << "sample " << stored[i];
            if (s.IsVideo()) {
                ASSERT_EQ(s.IsKeyFrame(s.Start() + static_cast<int32_t>(stored[i])), packets[i].key)
                    << "sample " << stored[i];
            }
        }
        EXPECT_EQ(s.Length(), s.ChunkCount());
    } else {
        std::vector<uint8_t> theirs;
        for (const ProbedPacket& p : packets) {
            theirs.insert(theirs.end(), p.data.begin(), p.data.end());
        }
        const std::vector<uint8_t> ours = ReadWholeStream(s);
        ASSERT_EQ(ours.size(), theirs.size());
        EXPECT_TRUE(ours == theirs);
        EXPECT_EQ(static_cast<uint64_t>(s.Length()), theirs.size() / s.SampleSize());
    }
}

// The stream header values and format tail agree with what ffprobe reads
// from the same headers: codec tag, time base (scale / rate), first sample,
// frame count, and the codec data after the fixed part of the format.
void ExpectSameHeaderAsProbe(const std::string& path, AviStream& s, const std::string& selector) {
    SCOPED_TRACE(path + " " + selector + " header");
    const CommandResult r = RunCommand(
        {"ffprobe", "-v", "error", "-select_streams", selector, "-show_data_hash", "CRC32",
         "-show_entries", "stream=codec_tag,time_base,start_pts,extradata_size,extradata_hash",
         "-of", "default=nw=1", path});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::map<std::string, std::string> f;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            f[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    if (!f.count("extradata_size")) {
        f["extradata_size"] = "0";  // not printed when there is none
    }
    const AviStreamInfo& info = s.Info();
    const std::vector<uint8_t>& format = s.Format();
    const uint32_t tag =
        s.IsVideo() ? bytes::GetLE32(format.data() + 16) : bytes::GetLE16(format.data());
    // (An extensible audio format shows as its sub-format there.)
    const bool extensible = s.IsAudio() && tag == 0xFFFE;
    if (!extensible) {
        EXPECT_EQ(std::stoul(f["codec_tag"], nullptr, 16), tag);
    }
    const auto slash = f["time_base"].find('/');
    ASSERT_NE(slash, std::string::npos);
    const uint64_t num = std::stoull(f["time_base"].substr(0, slash));
    const uint64_t den = std::stoull(f["time_base"].substr(slash + 1));
    EXPECT_EQ(num * info.dwRate, den * info.dwScale) << f["time_base"];
    EXPECT_EQ(f["start_pts"], std::to_string(info.dwStart));
    // Codec data after the fixed part of the format (the other reader may
    // also take it from the bitstream when the format has none).
    const size_t fixed = s.IsVideo() ? 40 : 18;
    size_t tail = format.size() > fixed ? format.size() - fixed : 0;
    if (s.IsAudio() && format.size() >= 18) {
        tail = std::min<size_t>(tail, bytes::GetLE16(format.data() + 16));
    }
    if (tail > 0 && !extensible) {
        EXPECT_EQ(f["extradata_size"], std::to_string(tail));
        EXPECT_EQ(f["extradata_hash"], "CRC32:" + Crc32Hex(format.data() + fixed, tail));
    }
}

// ---- files built byte by byte ----------------------------------------------

std::vector<AviTestStream> VideoAndPcm() {
    AviTestStream v;
    v.handler = "XVID";
    v.format = TestBitmapFormat(32, 16, 24, "XVID", {1, 2, 3});
    v.name = "the video";
    AviTestStream a;
    a.type = "auds";
    a.scale = 4;
    a.rate = 32000;
    a.sampleSize = 4;
    a.format = TestWaveFormat(1, 2, 8000, 4, 16);
    return {v, a};
}

std::vector<AviTestChunk> MixedChunks() {
    // Key frames at 0 and 4, a dropped frame at 2, audio chunks of odd and
    // uneven sizes (a read may span them).
    return {{0, Pattern(101, 1), true},
            {1, Pattern(40, 2)},
            {0, Pattern(30, 3), false},
            {1, Pattern(24, 4)},
            {0, {}, false},
            {0, Pattern(55, 5), false},
            {1, Pattern(8, 6)},
            {0, Pattern(77, 7), true},
            {0, Pattern(9, 8), false},
            {1, Pattern(44, 9)}};
}

class BuiltAviTest : public ::testing::TestWithParam<AviTestIndex> {};

TEST_P(BuiltAviTest, EveryIndexFormGivesTheSameStreams) {
    const std::vector<AviTestChunk> chunks = MixedChunks();
    const std::vector<uint8_t> file = BuildTestAvi(VideoAndPcm(), chunks, GetParam());
    int32_t error = -1;
    auto avi = OpenBytes(file, &error);
    ASSERT_TRUE(avi);
    EXPECT_EQ(error, err::kOk);
    ASSERT_EQ(avi->StreamCount(), 2);
    const AviIndexSource expected[] = {AviIndexSource::Idx1, AviIndexSource::Idx1,
                                       AviIndexSource::OpenDml, AviIndexSource::Scan};
    EXPECT_EQ(avi->IndexSource(), expected[static_cast<int>(GetParam())]);

    AviStream& v = avi->Stream(0);
    EXPECT_TRUE(v.IsVideo());
    EXPECT_EQ(v.Info().name, "the video");
    EXPECT_EQ(v.Format(), VideoAndPcm()[0].format);
    EXPECT_EQ(v.Length(), 6);
    std::vector<std::vector<uint8_t>> want_video, want_audio;
    std::vector<uint8_t> audio_bytes;
    for (const AviTestChunk& c : chunks) {
        (c.stream == 0 ? want_video : want_audio).push_back(c.data);
        if (c.stream == 1) {
            audio_bytes.insert(audio_bytes.end(), c.data.begin(), c.data.end());
        }
    }
    EXPECT_EQ(AllChunks(v), want_video);
    if (GetParam() != AviTestIndex::None) {
        // Key flags come from the index; a walk without one calls all key.
        const int32_t prev_key[] = {0, 0, 0, 0, 4, 4};
        for (int32_t i = 0; i < 6; ++i) {
            EXPECT_EQ(v.FindPrevKeyFrame(i), prev_key[i]) << i;
        }
        EXPECT_FALSE(v.IsKeyFrame(2));
        EXPECT_TRUE(v.IsKeyFrame(4));
    }
    EXPECT_EQ(v.FindPrevKeyFrame(-1), -1);
    EXPECT_EQ(v.FindPrevKeyFrame(1000), v.FindPrevKeyFrame(5));

    // A dropped frame is a sample of 0 bytes.
    int64_t bytes = -1;
    int32_t samples = -1;
    EXPECT_EQ(v.Read(2, kReadConvenient, nullptr, 0, &bytes, &samples), err::kOk);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(samples, 1);

    AviStream& a = avi->Stream(1);
    EXPECT_EQ(a.SampleSize(), 4u);
    EXPECT_EQ(a.Length(), static_cast<int32_t>(audio_bytes.size() / 4));
    EXPECT_EQ(ReadWholeStream(a, 4), audio_bytes);  // one sample at a time
    EXPECT_EQ(ReadWholeStream(a, 1 << 16), audio_bytes);
    EXPECT_EQ(a.FindPrevKeyFrame(7), 7);
}

INSTANTIATE_TEST_SUITE_P(IndexForms, BuiltAviTest,
                         ::testing::Values(AviTestIndex::Idx1Relative, AviTestIndex::Idx1Absolute,
                                           AviTestIndex::OpenDml, AviTestIndex::None));

TEST(AviFileTest, SampleReadsFollowTheRulesOfEachStreamKind) {
    auto streams = VideoAndPcm();
    const std::vector<uint8_t> file =
        BuildTestAvi(streams, MixedChunks(), AviTestIndex::Idx1Relative);
    int32_t error = 0;
    auto avi = OpenBytes(file, &error);
    ASSERT_TRUE(avi);
    AviStream& v = avi->Stream(0);
    AviStream& a = avi->Stream(1);
    std::vector<uint8_t> buf(256);
    struct Case {
        AviStream* s;
        int32_t pos, count;
        int64_t buf_bytes;
        bool with_buffer;
        int32_t rc;
        int64_t bytes;
        int32_t samples;
    };
    const Case cases[] = {
        // Video: one chunk per read, whatever count is asked.
        {&v, 0, 5, 256, true, err::kOk, 101, 1},
        {&v, 0, kReadConvenient, 100, true, err::kStreamRead, 0, 0},  // buffer too small
        {&v, 6, kReadConvenient, 256, true, err::kOk, 0, 0},          // the end
        {&v, -1, kReadConvenient, 256, true, err::kStreamRead, 0, 0},
        // Audio of 4-byte samples: 29 samples in 116 bytes over 4 chunks.
        {&a, 0, kReadConvenient, 256, true, err::kOk, 116, 29},
        {&a, 0, kReadConvenient, 7, true, err::kOk, 4, 1},
        {&a, 0, kReadConvenient, 3, true, err::kStreamRead, 0, 0},
        {&a, 9, 3, 256, true, err::kOk, 12, 3},              // spans the first two chunks
        {&a, 9, kReadConvenient, 0, false, err::kOk, 4, 1},  // rest of that chunk
        {&a, 28, 10, 256, true, err::kOk, 4, 1},             // clamped to the end
        {&a, 29, 1, 256, true, err::kOk, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "pos " << c.pos << " count " << c.count);
        int64_t bytes = -1;
        int32_t samples = -1;
        EXPECT_EQ(c.s->Read(c.pos, c.count, c.with_buffer ? buf.data() : nullptr, c.buf_bytes,
                            &bytes, &samples),
                  c.rc);
        if (c.rc == err::kOk) {
            EXPECT_EQ(bytes, c.bytes);
            EXPECT_EQ(samples, c.samples);
        }
    }
    // Bytes 36..47 of the audio: the last 4 of chunk 1, the first 8 of chunk 2.
    int64_t bytes = 0;
    int32_t samples = 0;
    ASSERT_EQ(a.Read(9, 3, buf.data(), 12, &bytes, &samples), err::kOk);
    const auto first = Pattern(40, 2);
    std::vector<uint8_t> want(first.begin() + 36, first.end());
    const auto second = Pattern(24, 4);
    want.insert(want.end(), second.begin(), second.begin() + 8);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 12), want);
}

TEST(AviFileTest, StreamHeaderValuesAndLengthsFromTheIndex) {
    auto streams = VideoAndPcm();
    streams[0].headerLength = 999;  // wrong on purpose
    streams[0].start = 3;
    streams[0].priority = 7;
    auto file = BuildTestAvi(streams, MixedChunks(), AviTestIndex::Idx1Relative);
    int32_t error = 0;
    auto avi = OpenBytes(file, &error);
    ASSERT_TRUE(avi);
    const AviStreamInfo& info = avi->Stream(0).Info();
    EXPECT_EQ(info.fccType, bytes::FourCC("vids"));
    EXPECT_EQ(info.fccHandler, bytes::FourCC("XVID"));
    EXPECT_EQ(info.wPriority, 7);
    EXPECT_EQ(info.dwStart, 3u);
    EXPECT_EQ(info.dwLength, 6u);
    EXPECT_EQ(info.dwQuality, 0xFFFFFFFFu);
    EXPECT_GE(info.dwSuggestedBufferSize, 101u);
    EXPECT_EQ(avi->Stream(0).FindPrevKeyFrame(3 + 5), 3 + 4);
    EXPECT_EQ(avi->Stream(0).FindPrevKeyFrame(2), -1);
}

// WAV layouts built by hand: chunks of odd size before the data, fact and
// LIST anywhere, odd data with and without its pad byte, a RIFF size that
// falls short of the chunks.
TEST(AviFileTest, WaveChunksInAnyOrderAndOddSizes) {
    auto chunk = [](const char* id, std::vector<uint8_t> data, bool pad = true) {
        std::vector<uint8_t> c(id, id + 4);
        uint8_t n[4];
        bytes::PutLE32(n, static_cast<uint32_t>(data.size()));
        c.insert(c.end(), n, n + 4);
        c.insert(c.end(), data.begin(), data.end());
        if (pad && (data.size() & 1)) {
            c.push_back(0);
        }
        return c;
    };
    auto wave = [](std::vector<std::vector<uint8_t>> chunks, int riff_size_delta = 0) {
        std::vector<uint8_t> b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
        for (auto& c : chunks) {
            b.insert(b.end(), c.begin(), c.end());
        }
        bytes::PutLE32(b.data() + 4, static_cast<uint32_t>(b.size() - 8 + riff_size_delta));
        return b;
    };
    const auto fmt8 = TestWaveFormat(1, 1, 8000, 1, 8);
    const auto fmt16 = std::vector<uint8_t>(fmt8.begin(), fmt8.begin() + 16);
    const auto data9 = Pattern(9, 40);
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        std::vector<uint8_t> samples;
    };
    const Case cases[] = {
        {"odd LIST and fact before data",
         wave({chunk("fmt ", fmt16), chunk("LIST", {'I', 'N', 'F', 'O', 'x'}),
               chunk("fact", {9, 0, 0, 0}), chunk("data", data9), chunk("JUNK", {1, 2})}),
         data9},
        {"fact after data, no pad byte at the end",
         wave({chunk("fmt ", fmt8), chunk("data", data9), chunk("fact", {9, 0, 0, 0})}), data9},
        {"data last without its pad byte", wave({chunk("fmt ", fmt8), chunk("data", data9, false)}),
         data9},
        {"RIFF size short of the data", wave({chunk("fmt ", fmt8), chunk("data", data9)}, -20),
         data9},
        {"data size 0 (never patched)",
         [&] {
             auto b = wave({chunk("fmt ", fmt8), chunk("data", data9)});
             bytes::PutLE32(b.data() + FindFourCC(b, "data") + 4, 0);
             return b;
         }(),
         {data9.begin(), data9.end()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t error = 0;
        auto avi = OpenBytes(c.file, &error);
        ASSERT_TRUE(avi) << error;
        ASSERT_EQ(avi->StreamCount(), 1);
        AviStream& s = avi->Stream(0);
        std::vector<uint8_t> got = ReadWholeStream(s);
        // Data that reaches to the end of the file takes the pad byte too.
        if (got.size() == c.samples.size() + 1) {
            got.pop_back();
        }
        EXPECT_EQ(got, c.samples);
    }
}

// Data whose last block is short (compressed audio stored with a block of a
// whole frame's length): the short block is the last sample and every byte
// of the data chunk is read.
TEST(AviFileTest, WaveShortLastBlockIsReadWhole) {
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    const auto fmt = TestWaveFormat(1, 2, 8000, 4, 16);  // blocks of 4 bytes
    const auto data = Pattern(10, 7);
    auto put = [&file](const char* id, const std::vector<uint8_t>& body) {
        file.insert(file.end(), id, id + 4);
        uint8_t n[4];
        bytes::PutLE32(n, static_cast<uint32_t>(body.size()));
        file.insert(file.end(), n, n + 4);
        file.insert(file.end(), body.begin(), body.end());
    };
    put("fmt ", std::vector<uint8_t>(fmt.begin(), fmt.begin() + 16));
    put("data", data);
    bytes::PutLE32(file.data() + 4, static_cast<uint32_t>(file.size() - 8));
    int32_t error = 0;
    auto avi = OpenBytes(file, &error);
    ASSERT_TRUE(avi) << error;
    AviStream& s = avi->Stream(0);
    EXPECT_EQ(s.Length(), 3);
    EXPECT_EQ(s.TotalBytes(), 10u);
    uint8_t buf[16];
    int64_t bytes = 0;
    int32_t samples = 0;
    ASSERT_EQ(s.Read(2, 1, buf, sizeof buf, &bytes, &samples), 0);
    EXPECT_EQ(bytes, 2);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 2),
              std::vector<uint8_t>(data.begin() + 8, data.end()));
    ASSERT_EQ(s.Read(0, kReadConvenient, buf, sizeof buf, &bytes, &samples), 0);
    EXPECT_EQ(bytes, 10);
    EXPECT_EQ(samples, 3);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 10), data);
}

// A file of any size whose bytes past the given head read as zeros, so a
// test can cross size limits without writing gigabytes.
class VirtualFile : public IoFile {
  public:
    VirtualFile(std::vector<uint8_t> head, uint64_t size) : m_head(std::move(head)), m_size(size) {}
    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        if (offset >= m_size) {
            return 0;
        }
        n = static_cast<size_t>(std::min<uint64_t>(n, m_size - offset));
        auto* out = static_cast<uint8_t*>(buf);
        std::fill(out, out + n, 0);
        if (offset < m_head.size()) {
            const size_t k = std::min<size_t>(n, m_head.size() - static_cast<size_t>(offset));
            std::copy_n(m_head.begin() + static_cast<std::ptrdiff_t>(offset), k, out);
        }
        return static_cast<int64_t>(n);
    }
    bool WriteAt(uint64_t, const void*, size_t) override { return false; }
    int64_t Size() override { return static_cast<int64_t>(m_size); }
    bool Truncate(uint64_t) override { return false; }
    bool Close() override { return true; }

  private:
    std::vector<uint8_t> m_head;
    uint64_t m_size;
};

// One audio chunk of 3 GiB (more than an index entry holds) is indexed in
// pieces; reads across the pieces are whole.
TEST(AviFileTest, AudioChunkBeyondTwoGigabytesIsIndexedInPieces) {
    AviTestStream a;
    a.type = "auds";
    a.scale = 4;
    a.rate = 192000;
    a.sampleSize = 4;
    a.format = TestWaveFormat(1, 2, 48000, 4, 16);
    std::vector<uint8_t> head = BuildTestAvi({a}, {{0, Pattern(8, 1)}}, AviTestIndex::None);
    const uint64_t big = 0xC0000000u;
    const size_t movi = FindFourCC(head, "movi");
    const size_t chunk = FindFourCC(head, "00wb");
    bytes::PutLE32(head.data() + chunk + 4, static_cast<uint32_t>(big));
    bytes::PutLE32(head.data() + movi - 4, static_cast<uint32_t>(4 + 8 + big));
    bytes::PutLE32(head.data() + 4, static_cast<uint32_t>(movi + 4 + 8 + big - 8));
    int32_t error = 0;
    auto avi = AviFile::OpenFile(std::make_unique<VirtualFile>(head, chunk + 8 + big), &error);
    ASSERT_TRUE(avi) << error;
    AviStream& s = avi->Stream(0);
    EXPECT_EQ(s.Length(), static_cast<int32_t>(big / 4));
    EXPECT_EQ(s.ChunkCount(), 3);
    EXPECT_EQ(s.TotalBytes(), big);
    std::vector<uint8_t> buf(64, 0xEE);
    int64_t bytes = 0;
    int32_t samples = 0;
    const int32_t boundary = static_cast<int32_t>(s.ChunkSize(0) / 4);
    ASSERT_EQ(s.Read(boundary - 4, 8, buf.data(), 64, &bytes, &samples), err::kOk);
    EXPECT_EQ(bytes, 32);
    EXPECT_EQ(samples, 8);
    EXPECT_EQ(std::count(buf.begin(), buf.begin() + 32, 0), 32);
    ASSERT_EQ(s.Read(0, 2, buf.data(), 64, &bytes, &samples), err::kOk);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 8), Pattern(8, 1));
}

// ---- files made by ffmpeg --------------------------------------------------

struct Recipe {
    const char* name;
    const char* args;
    const char* ext;
    std::vector<const char*> probe;  // ffprobe stream specifiers, in file order
};

class FfmpegFileTest : public ::testing::TestWithParam<Recipe> {};

TEST_P(FfmpegFileTest, EverySampleAgreesWithAnIndependentReader) {
    const Recipe& r = GetParam();
    const std::string path = MakeMedia(r.name, r.args, r.ext);
    int32_t error = 0;
    auto avi = AviFile::Open(path, &error);
    ASSERT_TRUE(avi) << error;
    ASSERT_EQ(avi->StreamCount(), static_cast<int>(r.probe.size()));
    for (size_t i = 0; i < r.probe.size(); ++i) {
        AviStream& s = avi->Stream(static_cast<int>(i));
        ExpectSameAsProbe(path, s, r.probe[i]);
        if (!avi->IsWave()) {
            ExpectSameHeaderAsProbe(path, s, r.probe[i]);
        }
        if (s.IsAudio()) {
            // The format block is stored as ffmpeg wrote it: the codec tag
            // and channel count agree with what ffprobe sees.
            const auto f = ProbeStream(path, r.probe[i], {"channels", "sample_rate"});
            ASSERT_GE(s.Format().size(), 16u);
            EXPECT_EQ(std::to_string(bytes::GetLE16(s.Format().data() + 2)), f.at("channels"));
            EXPECT_EQ(std::to_string(bytes::GetLE32(s.Format().data() + 4)), f.at("sample_rate"));
        } else if (s.IsVideo()) {
            const auto f = ProbeStream(path, r.probe[i], {"width", "height"});
            ASSERT_GE(s.Format().size(), 40u);
            EXPECT_EQ(std::to_string(bytes::GetLE32(s.Format().data() + 4)), f.at("width"));
        }
    }
}

const char* const kVideo = "-f lavfi -i testsrc=size=160x120:rate=25 ";
const char* const kTone = "-f lavfi -i sine=frequency=440:sample_rate=44100 ";

INSTANTIATE_TEST_SUITE_P(
    Recipes, FfmpegFileTest,
    ::testing::Values(
        Recipe{"mpeg4_bframes_vbr_mp3",
               "-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i "
               "sine=frequency=440:sample_rate=44100 -t 3 -c:v mpeg4 -bf 2 -g 12 -c:a libmp3lame "
               "-b:a 96k",
               "avi",
               {"v:0", "a:0"}},
        Recipe{"h264_bframes_pcm16",
               "-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i "
               "sine=frequency=440:sample_rate=44100 -t 2 -c:v libx264 -bf 3 -g 20 -c:a pcm_s16le",
               "avi",
               {"v:0", "a:0"}},
        Recipe{"mjpeg_pcm8",
               "-f lavfi -i testsrc=size=160x120:rate=15 -f lavfi -i sine=sample_rate=11025 -t 1 "
               "-c:v mjpeg -c:a pcm_u8",
               "avi",
               {"v:0", "a:0"}},
        Recipe{"raw_bgr24_pcm24",
               "-f lavfi -i testsrc=size=64x48:rate=10 -f lavfi -i sine=sample_rate=48000 -t 1 "
               "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s24le",
               "avi",
               {"v:0", "a:0"}},
        Recipe{"two_audio_float_alaw",
               "-f lavfi -i testsrc=size=96x64:rate=25 -f lavfi -i sine=sample_rate=22050 -f lavfi "
               "-i sine=frequency=880:sample_rate=8000 -t 1 -map 0 -map 1 -map 2 -c:v mpeg4 -c:a:0 "
               "pcm_f32le -c:a:1 pcm_alaw",
               "avi",
               {"v:0", "a:0", "a:1"}},
        Recipe{"adpcm_mulaw",
               "-f lavfi -i testsrc=size=96x64:rate=25 -f lavfi -i sine=sample_rate=22050 -f lavfi "
               "-i sine=sample_rate=8000 -t 1 -map 0 -map 1 -map 2 -c:v mjpeg -c:a:0 adpcm_ms "
               "-c:a:1 pcm_mulaw",
               "avi",
               {"v:0", "a:0", "a:1"}},
        Recipe{
            "wav_pcm16", "-f lavfi -i sine=sample_rate=44100 -t 1 -c:a pcm_s16le", "wav", {"a:0"}},
        Recipe{"wav_pcm24_bext_info",
               "-f lavfi -i sine=sample_rate=48000 -t 1 -c:a pcm_s24le -write_bext 1 -metadata "
               "title=tone -metadata artist=test",
               "wav",
               {"a:0"}},
        Recipe{"wav_u8_odd",
               "-f lavfi -i sine=sample_rate=8000 -af atrim=end_sample=99 -c:a pcm_u8 -metadata "
               "comment=odd",
               "wav",
               {"a:0"}},
        Recipe{
            "wav_float", "-f lavfi -i sine=sample_rate=32000 -t 1 -c:a pcm_f32le", "wav", {"a:0"}},
        Recipe{"wav_ima_adpcm",
               "-f lavfi -i sine=sample_rate=22050 -t 1 -c:a adpcm_ima_wav",
               "wav",
               {"a:0"}},
        Recipe{"wav_alaw", "-f lavfi -i sine=sample_rate=8000 -t 1 -c:a pcm_alaw", "wav", {"a:0"}},
        Recipe{
            "wav_extensible_6ch",
            "-f lavfi -i sine=sample_rate=48000 -t 0.5 -af pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|"
            "c5=c0 -c:a pcm_s16le",
            "wav",
            {"a:0"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Without an index the key frames come from the bitstream, and agree with
// what the other reader (which parses too) finds.
TEST(AviFileTest, UnindexedFilesFindKeyFramesInTheBitstream) {
    const char* const recipes[][2] = {
        {"unindexed_mpeg4", "-f lavfi -i testsrc=size=96x64:rate=25 -t 3 -c:v mpeg4 -bf 2 -g 12"},
        {"unindexed_h264", "-f lavfi -i testsrc=size=96x64:rate=25 -t 3 -c:v libx264 -g 20"},
        {"unindexed_mjpeg", "-f lavfi -i testsrc=size=96x64:rate=25 -t 1 -c:v mjpeg"},
    };
    for (const auto& r : recipes) {
        std::vector<uint8_t> bytes = ReadBytes(MakeMedia(r[0], r[1], "avi"));
        const size_t idx1 = FindFourCC(bytes, "idx1");
        ASSERT_NE(idx1, SIZE_MAX);
        std::memcpy(bytes.data() + idx1, "JUNK", 4);
        const std::string path = ScratchDir() + "/" + r[0] + ".avi";
        WriteBytes(path, bytes);
        int32_t error = 0;
        auto avi = AviFile::Open(path, &error);
        ASSERT_TRUE(avi);
        EXPECT_EQ(avi->IndexSource(), AviIndexSource::Scan);
        ExpectSameAsProbe(path, avi->Stream(0), "v:0");
    }
}

// ---- third-party samples ---------------------------------------------------

TEST(AviSamplesTest, EveryReadableSampleAgreesWithAnIndependentReader) {
    std::vector<std::string> files = SamplesIn("avi");
    for (const std::string& w : SamplesIn("wav")) {
        files.push_back(w);
    }
    ASSERT_FALSE(files.empty());
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        int32_t error = 0;
        auto avi = AviFile::Open(path, &error);
        if (path.find("RIFX") != std::string::npos) {
            // Big-endian samples cannot pass as a WAV stream: refused.
            EXPECT_FALSE(avi);
            EXPECT_EQ(error, err::kFileOpen);
            continue;
        }
        ASSERT_TRUE(avi) << error;
        const bool headers_only = path.find("exiftool") != std::string::npos;
        int v = 0, a = 0;
        for (int i = 0; i < avi->StreamCount(); ++i) {
            AviStream& s = avi->Stream(i);
            const std::string selector =
                s.IsVideo() ? "v:" + std::to_string(v++) : "a:" + std::to_string(a++);
            if (headers_only) {
                EXPECT_EQ(s.Length(), 0);  // the media was stripped
                continue;
            }
            if (path.find("zero-size-chunk") != std::string::npos) {
                // Data size 0: read to the end of the file, as the other
                // reader also does.
                EXPECT_EQ(s.Length(), 245);
                continue;
            }
            ExpectSameAsProbe(path, s, selector);
        }
    }
}

TEST(AviSamplesTest, WaveFormatsAreKeptAsStored) {
    struct Case {
        const char* file;
        size_t format_bytes;
        uint16_t tag;
        int32_t length;
    };
    const Case cases[] = {
        {"wav/wavefile_27bit-8kHz-noBext-mono.wav", 40, 0xFFFE, 48000},
        {"wav/wavefile_24bit-16kHz-bext-mono.wav", 16, 1, 658287 / 3},
        {"wav/tinytag_adpcm.wav", 50, 2, 131},
        {"wav/taglib_rf64.wav", 16, 1, 2400},
        {"wav/wavefile_8bit-mulaw-8kHz-noBext-mono-encoded.wav", 20, 7, 48000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        int32_t error = 0;
        auto avi = AviFile::Open(SamplePath(c.file), &error);
        ASSERT_TRUE(avi);
        ASSERT_TRUE(avi->IsWave());
        ASSERT_EQ(avi->StreamCount(), 1);
        const AviStream& s = avi->Stream(0);
        EXPECT_EQ(s.Format().size(), c.format_bytes);
        EXPECT_EQ(bytes::GetLE16(s.Format().data()), c.tag);
        EXPECT_EQ(s.Length(), c.length);
        EXPECT_EQ(s.Info().fccType, bytes::FourCC("auds"));
        EXPECT_EQ(s.Info().dwScale, bytes::GetLE16(s.Format().data() + 12));
        EXPECT_EQ(s.Info().dwRate, bytes::GetLE32(s.Format().data() + 8));
    }
}

}  // namespace
