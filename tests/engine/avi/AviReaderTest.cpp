#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "AviTestFile.h"
#include "ByteOrder.h"
#include "CDecAVI.h"
#include "CDecAVIAudio.h"
#include "CDecWAV.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "Process.h"

namespace {

using namespace trelvan;
using namespace trelvan::test;

std::string WriteTemp(const std::vector<uint8_t>& bytes, const std::string& name) {
    const std::string path = ScratchDir() + "/" + name;
    WriteBytes(path, bytes);
    return path;
}

AviTestStream Video(uint16_t priority, const std::string& fcc) {
    AviTestStream v;
    v.priority = priority;
    v.handler = fcc;
    v.format = TestBitmapFormat(16 + priority, 8, 24, fcc);
    return v;
}

AviTestStream Audio(uint16_t tag, const std::vector<uint8_t>& extra = {}, int cb_size = -1) {
    AviTestStream a;
    a.type = "auds";
    a.scale = 2;
    a.rate = 16000;
    a.sampleSize = 2;
    a.format = TestWaveFormat(tag, 1, 8000, 2, 16, extra, cb_size);
    return a;
}

std::string MakeAvi(const std::vector<AviTestStream>& streams, const std::string& name) {
    std::vector<AviTestChunk> chunks;
    for (size_t i = 0; i < streams.size(); ++i) {
        chunks.push_back({static_cast<int>(i), Pattern(20 + i, static_cast<uint8_t>(i))});
        chunks.push_back({static_cast<int>(i), {}, false});
    }
    return WriteTemp(BuildTestAvi(streams, chunks, AviTestIndex::Idx1Relative), name);
}

TEST(AviReaderTest, VideoStreamOfLowestPriorityValueIsSelected) {
    struct Case {
        uint16_t first, second;
        int32_t expected_width;  // 16 + priority of the selected stream
    };
    const Case cases[] = {{3, 1, 17}, {2, 2, 18}, {0, 5, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.first << " vs " << c.second);
        const std::string path =
            MakeAvi({Video(c.first, "AAAA"), Audio(1), Video(c.second, "BBBB")}, "prio.avi");
        CDecAVI r;
        ASSERT_EQ(r.Open(path), err::kOk);
        EXPECT_EQ(r.GetWidth(), c.expected_width);
        EXPECT_EQ(r.GetVideoStream()->Info().wPriority, std::min(c.first, c.second));
    }
}

TEST(AviReaderTest, LastAudioStreamWinsAndPcmExtraBytesReadAsZero) {
    const std::string path =
        MakeAvi({Video(0, "XVID"), Audio(6), Audio(1, {9, 9, 9, 9}, 4)}, "twoaudio.avi");
    CDecAVIAudio av;
    ASSERT_EQ(av.Open(path), err::kOk);
    ASSERT_TRUE(av.HasAudio());
    const uint8_t* f = av.GetAudioFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(bytes::GetLE16(f), 1);       // the second audio stream
    EXPECT_EQ(bytes::GetLE16(f + 16), 0);  // stored as 4, PCM has none
    EXPECT_EQ(av.GetAudioFormatSize(), 22);
    EXPECT_EQ(av.GetSampleRate(), 8000u);
    CDecWAV w;
    ASSERT_EQ(w.Open(path), err::kOk);
    EXPECT_EQ(bytes::GetLE16(w.GetAudioFormat()), 1);
    EXPECT_EQ(w.GetVideoStream(), nullptr);
    EXPECT_EQ(w.GetLength(), 0);
}

TEST(AviReaderTest, WhichReaderOpensWhichFile) {
    const std::string video_only = MakeAvi({Video(0, "XVID")}, "video.avi");
    const std::string audio_only = MakeAvi({Audio(1)}, "audio.avi");
    const std::string wav =
        MakeMedia("reader_wav", "-f lavfi -i sine -t 0.5 -c:a pcm_s16le", "wav");
    struct Case {
        std::string path;
        int32_t avi, avi_audio, wav;
    };
    const Case cases[] = {
        {video_only, err::kOk, err::kOk, err::kNoAudio},
        {audio_only, err::kNoVideo, err::kNoVideo, err::kOk},
        {wav, err::kNoVideo, err::kNoVideo, err::kOk},
        {ScratchDir() + "/missing.avi", err::kFileOpen, err::kFileOpen, err::kFileOpen},
        {ScratchDir(), err::kFileOpen, err::kFileOpen, err::kFileOpen},
        {WriteTemp({}, "empty.avi"), err::kFileOpen, err::kFileOpen, err::kFileOpen},
        {WriteTemp({'R', 'I', 'F', 'F', 4, 0, 0, 0, 'C', 'D', 'X', 'A'}, "cdxa.avi"),
         err::kFileOpen, err::kFileOpen, err::kFileOpen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CDecAVI a;
        CDecAVIAudio b;
        CDecWAV w;
        EXPECT_EQ(a.Open(c.path), c.avi);
        EXPECT_EQ(b.Open(c.path), c.avi_audio);
        EXPECT_EQ(w.Open(c.path), c.wav);
    }
}

TEST(AviReaderTest, UnreadableFileGivesOpenFailure) {
    CDecWAV w;
    // A file the reader may not open (as without read permission).
    w.SetFileOpener([](const std::string&, OpenMode) { return std::unique_ptr<IoFile>(); });
    const std::string made =
        MakeMedia("reader_wav", "-f lavfi -i sine -t 0.5 -c:a pcm_s16le", "wav");
    EXPECT_EQ(w.Open(made), err::kFileOpen);
    // A file cut short after it was opened: the reads fail.
    const std::string wav = CopyFile(made, ScratchDir());
    w.SetFileOpener(DiskFileOpener());
    ASSERT_EQ(w.Open(wav), err::kOk);
    std::filesystem::resize_file(wav, 100);
    std::vector<uint8_t> buf(4096);
    int32_t samples = 0, n = 4096;
    EXPECT_EQ(w.ReadAudio(&samples, buf.data(), &n), err::kStreamRead);
}

TEST(AviReaderTest, DroppedFrameReadsAsEmptyAndLeavesTheBufferAlone) {
    const std::string path = MakeAvi({Video(0, "XVID")}, "dropped.avi");
    CDecAVI r;
    ASSERT_EQ(r.Open(path), err::kOk);
    ASSERT_EQ(r.GetLength(), 2);
    void* buffer = nullptr;
    int32_t samples = 0, bytes = 0;
    ASSERT_EQ(r.ReadVideoSample(0, &samples, &buffer, &bytes), err::kOk);
    EXPECT_EQ(samples, 1);
    ASSERT_EQ(bytes, 20);
    EXPECT_EQ(std::memcmp(buffer, Pattern(20, 0).data(), 20), 0);
    void* before = buffer;
    ASSERT_EQ(r.ReadVideoSample(1, &samples, &buffer, &bytes), err::kOk);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(buffer, before);
    EXPECT_EQ(std::memcmp(buffer, Pattern(20, 0).data(), 20), 0);
    // Past the end: no sample, a read failure.
    EXPECT_EQ(r.ReadVideoSample(2, &samples, &buffer, &bytes), err::kStreamRead);
    std::free(buffer);
    EXPECT_TRUE(r.IsKeyFrame(0));
    EXPECT_FALSE(r.IsKeyFrame(1));
}

TEST(AviReaderTest, InformationTextsAndFormat) {
    AviTestStream v = Video(0, "");
    v.format = TestBitmapFormat(32, -16, 24, "", {7, 7});
    v.type = "vids";
    const std::string path = MakeAvi({v}, "texts.avi");
    CDecAVI r;
    ASSERT_EQ(r.Open(path), err::kOk);
    EXPECT_EQ(r.GetStreamType(), "vids");
    EXPECT_EQ(r.GetStreamHandler(), "None");  // handler code 0
    EXPECT_EQ(r.GetCompression(), "None");    // uncompressed
    EXPECT_EQ(r.GetWidth(), 32);
    EXPECT_EQ(r.GetHeight(), -16);
    EXPECT_DOUBLE_EQ(r.GetFrameRate(), 25.0);
    uint8_t* f = nullptr;
    int32_t size = 0;
    ASSERT_EQ(r.ReadVideoFormat(&f, &size), err::kOk);
    EXPECT_EQ(std::vector<uint8_t>(f, f + size), v.format);
    std::free(f);
    EXPECT_FALSE(r.HasAudioFormat());
    EXPECT_EQ(r.GetAudioFormat(), nullptr);
    EXPECT_EQ(r.Reserved(1, 2, 3), 0);
}

TEST(AviReaderTest, ZeroRateOrScaleDividesByNothing) {
    AviTestStream v = Video(0, "XVID");
    v.scale = 0;
    v.rate = 0;
    const std::string path = MakeAvi({v}, "zero.avi");
    CDecAVI r;
    ASSERT_EQ(r.Open(path), err::kOk);
    EXPECT_EQ(r.GetFrameRate(), 0.0);
}

TEST(AviReaderTest, ReopeningReleasesTheFirstFile) {
    const std::string with_audio = MakeAvi({Video(0, "XVID"), Audio(1)}, "a.avi");
    const std::string without = MakeAvi({Video(4, "DIVX")}, "b.avi");
    CDecAVIAudio r;
    ASSERT_EQ(r.Open(with_audio), err::kOk);
    ASSERT_TRUE(r.HasAudio());
    std::vector<uint8_t> buf(64);
    int32_t samples = 0, n = 64;
    ASSERT_EQ(r.ReadAudio(&samples, buf.data(), &n), err::kOk);
    EXPECT_EQ(samples, 10);
    EXPECT_EQ(r.GetReadPosition(), 10);
    ASSERT_EQ(r.Open(without), err::kOk);
    EXPECT_FALSE(r.HasAudio());
    EXPECT_EQ(r.GetAudioFormat(), nullptr);
    EXPECT_EQ(r.GetReadPosition(), 0);
    EXPECT_EQ(r.GetWidth(), 20);
    EXPECT_EQ(r.GetStreamHandler(), "DIVX");
    // A failed open leaves the reader closed to reads.
    EXPECT_EQ(r.Open(ScratchDir() + "/nothing.avi"), err::kFileOpen);
    EXPECT_EQ(r.GetVideoStream(), nullptr);
    EXPECT_EQ(r.GetLength(), 0);
}

TEST(AviReaderTest, SequentialAudioReadsCoverTheStreamOnce) {
    const std::string path = MakeMedia(
        "reader_pcm24", "-f lavfi -i sine=sample_rate=44100 -t 1.3 -c:a pcm_s24le", "wav");
    CDecWAV w;
    ASSERT_EQ(w.Open(path), err::kOk);
    const int32_t end = w.GetAudioStart() + w.GetAudioLength();
    ASSERT_EQ(end, 57330);
    std::vector<uint8_t> all, buf(48000);
    while (w.GetReadPosition() < end) {
        int32_t samples = 0, n = 48000;
        ASSERT_EQ(w.ReadAudio(&samples, buf.data(), &n), err::kOk);
        ASSERT_GT(n, 0);
        EXPECT_EQ(n, samples * 6 / 2);  // 3-byte mono samples... block align 3
        all.insert(all.end(), buf.begin(), buf.begin() + n);
    }
    int32_t samples = 0, n = 48000;
    EXPECT_EQ(w.ReadAudio(&samples, buf.data(), &n), err::kOk);
    EXPECT_EQ(n, 0);
    w.SetPosition(100);
    n = 30;
    ASSERT_EQ(w.ReadAudio(&samples, buf.data(), &n), err::kOk);
    EXPECT_EQ(samples, 10);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 30),
              std::vector<uint8_t>(all.begin() + 300, all.begin() + 330));
    EXPECT_EQ(all.size(), 57330u * 3);
}

// ---- decoded frames --------------------------------------------------------

// Every frame ffmpeg decodes, in display order, as 24-bit rows turned
// bottom-up and padded as pictures are.
std::vector<std::vector<uint8_t>> ReferenceFrames(const std::string& path, int width, int height) {
    const CommandResult r = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map",
                                        "0:v:0", "-f", "rawvideo", "-pix_fmt", "bgr24", "pipe:1"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const size_t row = static_cast<size_t>(width) * 3, padded = (row + 3) & ~size_t{3};
    const size_t frame = row * static_cast<size_t>(height);
    std::vector<std::vector<uint8_t>> frames;
    for (size_t at = 0; frame > 0 && at + frame <= r.out.size(); at += frame) {
        std::vector<uint8_t> out(padded * static_cast<size_t>(height), 0);
        for (int y = 0; y < height; ++y) {
            std::memcpy(out.data() + padded * static_cast<size_t>(height - 1 - y),
                        r.out.data() + at + static_cast<size_t>(y) * row, row);
        }
        frames.push_back(std::move(out));
    }
    return frames;
}

double MeanDifference(const uint8_t* a, const std::vector<uint8_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        sum += std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
    }
    return b.empty() ? 1e9 : sum / static_cast<double>(b.size());
}

TEST(AviReaderTest, GetFrameMatchesAnotherDecoderInAnyOrder) {
    struct Case {
        const char* name;
        const char* args;
        int window;  // frames of reordering: chunk n carries a picture shown near n
        double tolerance;
    };
    const Case cases[] = {
        {"frames_raw", "-f lavfi -i testsrc=size=64x48:rate=10 -t 5 -c:v rawvideo -pix_fmt bgr24",
         0, 0.0},
        {"frames_pal8", "-f lavfi -i testsrc=size=64x48:rate=10 -t 5 -c:v rawvideo -pix_fmt pal8",
         0, 0.0},
        {"frames_mjpeg", "-f lavfi -i testsrc=size=96x64:rate=25 -t 2 -c:v mjpeg -q:v 3", 0, 3.0},
        {"frames_mpeg4_b",
         "-f lavfi -i testsrc=size=96x64:rate=25 -t 2 -c:v mpeg4 -bf 2 -g 10 -q:v 4", 3, 3.0},
        {"frames_h264_b", "-f lavfi -i testsrc=size=96x64:rate=25 -t 2 -c:v libx264 -bf 3 -g 12", 4,
         3.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = MakeMedia(c.name, c.args, "avi");
        CDecAVI r;
        ASSERT_EQ(r.Open(path), err::kOk);
        const auto frames = ReferenceFrames(path, r.GetWidth(), std::abs(r.GetHeight()));
        ASSERT_EQ(static_cast<int32_t>(frames.size()), r.GetLength());
        for (int index : {0, 13, 5, 14, 15, 37, 2, 49, 48}) {
            SCOPED_TRACE(index);
            const uint8_t* bits = nullptr;
            ASSERT_EQ(r.GetFrame(index, &bits), index);
            BITMAPINFOHEADER h{};
            r.GetPictureHeader(&h);
            EXPECT_EQ(h.biBitCount, 24);
            EXPECT_EQ(h.biWidth, r.GetWidth());
            EXPECT_EQ(h.biCompression, 0u);
            double best = 1e9;
            for (int k = std::max(0, index - c.window);
                 k <= std::min<int>(index + c.window, static_cast<int>(frames.size()) - 1); ++k) {
                best = std::min(best, MeanDifference(bits, frames[static_cast<size_t>(k)]));
            }
            EXPECT_LE(best, c.tolerance);
        }
        EXPECT_EQ(r.GetFrame(r.GetLength(), nullptr), -1);
    }
}

}  // namespace
