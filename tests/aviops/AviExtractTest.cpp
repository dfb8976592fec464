// The AVI extract operation, checked through ffprobe/ffmpeg: every video
// sample's bytes and key flag, the audio bytes, counts and stream headers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "AviExtract.h"
#include "AviFile.h"
#include "AviWriter.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "IoFile.h"
#include "Probe.h"
#include "SaveRunTestUtil.h"

namespace trelvan {
namespace {

using test::ProbedPacket;

TEST(AviExtractTimes, FramesAndFieldTimes) {
    struct Case {
        AviTime time;
        double rate;
        int32_t frame;
    };
    const Case cases[] = {
        {{0, 0, 1, 0}, 25, 25},
        {{0, 0, 1, 600}, 25, 40},
        {{0, 0, 0, 19}, 25, 0},  // 0.475 rounds down
        {{0, 0, 0, 20}, 25, 1},  // 0.5 rounds up
        {{1, 2, 3, 4}, 29.97, 111578},
        {{0, 0, 10, 0}, 0, 0},  // no rate
        // Hours up to 2^31 - 1 neither wrap nor go negative.
        {{2147483647, 59, 59, 999}, 25, INT32_MAX},
        {{600000, 0, 0, 0}, 0.001, 2160000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeToFrame(c.time, c.rate), c.frame) << c.time.hours << ":" << c.time.seconds;
    }
    struct Shown {
        int32_t frames;
        double rate;
        AviTime time;
    };
    const Shown shown[] = {
        {250, 25, {0, 0, 10, 0}},  {40, 25, {0, 0, 1, 600}}, {3725 * 25 + 9, 25, {1, 2, 5, 360}},
        {1, 29.97, {0, 0, 0, 33}}, {100, 0, {0, 0, 0, 0}},
    };
    for (const Shown& s : shown) {
        const AviTime t = FrameTime(s.frames, s.rate);
        EXPECT_EQ(t.ToMs(), s.time.ToMs()) << s.frames << " @ " << s.rate;
    }
    EXPECT_EQ(AviTime::FromMs(3723004).ToMs(), 3723004);
    EXPECT_EQ(AviTime::FromMs(3723004).minutes, 2);
}

// The progress display: the range form over frames; one frame, and the audio
// copy after the last frame, show 100 % with nothing remaining.
TEST(AviExtractTimes, ProgressDisplay) {
    struct Case {
        int64_t first, current, last;
        const char* text;
        int bar;
    };
    const Case cases[] = {
        {0, 0, 100, "  0 % (00:00:10/00:00:00)", 0},
        {0, 50, 100, " 50 % (00:00:10/00:00:10)", 50},
        {40, 40, 40, "100 % (00:00:10/00:00:00)", 100},
        {40, 41, 40, "100 % (00:00:10/00:00:00)", 100},
        {10, 101, 100, "100 % (00:00:10/00:00:00)", 100},
    };
    for (const Case& c : cases) {
        OpContext ctx;
        ctx.first = c.first;
        ctx.current = c.current;
        ctx.last = c.last;
        uint32_t now = 0;
        ctx.timer = CTimeMmanager([&now] { return now; });
        ctx.timer.ClearTotal();
        ctx.timer.Start();
        now = 10000;
        ctx.timer.AddLap();
        const ProgressDisplay shown = FormatProgress(AviExtractProgress(ctx, false));
        EXPECT_EQ(shown.text, c.text) << c.first << " " << c.current << " " << c.last;
        EXPECT_EQ(shown.bar, c.bar);
    }
}

const std::string kVideo25 = "-f lavfi -i testsrc=d=2:s=160x120:r=25 ";
const std::string kTone = "-f lavfi -i sine=d=2:f=440:r=44100 ";

struct Source {
    const char* name;
    std::string args;
};

const Source kSources[] = {
    {"mpeg4-bframes-pcm16", kVideo25 + kTone + "-c:v mpeg4 -bf 2 -g 12 -c:a pcm_s16le"},
    {"h264-mp3cbr", kVideo25 + kTone + "-c:v libx264 -g 10 -bf 2 -c:a libmp3lame -b:a 128k"},
    {"mjpeg-ac3", kVideo25 + kTone + "-c:v mjpeg -c:a ac3"},
    {"raw-imaadpcm", "-f lavfi -i testsrc=d=1:s=64x48:r=10 " + kTone +
                         "-c:v rawvideo -pix_fmt bgr24 -c:a adpcm_ima_wav"},
    {"mpeg4-mp3vbr", kVideo25 + kTone + "-c:v mpeg4 -g 15 -c:a libmp3lame -q:a 4"},
    {"mjpeg-msadpcm", kVideo25 + kTone + "-c:v mjpeg -c:a adpcm_ms"},
    {"mpeg4-pcm8", kVideo25 + kTone + "-c:v mpeg4 -g 20 -c:a pcm_u8"},
    {"mpeg4-pcm24", kVideo25 + kTone + "-c:v mpeg4 -g 20 -c:a pcm_s24le"},
    {"mjpeg-float", kVideo25 + kTone + "-c:v mjpeg -c:a pcm_f32le"},
};

std::string MakeSource(const Source& s) {
    return test::MakeMedia("extract-" + std::string(s.name), s.args + " -f avi", "avi");
}

std::vector<uint8_t> PacketBytes(const std::vector<ProbedPacket>& packets, size_t from = 0,
                                 size_t to = SIZE_MAX) {
    std::vector<uint8_t> out;
    for (size_t i = from; i < std::min(to, packets.size()); ++i) {
        out.insert(out.end(), packets[i].data.begin(), packets[i].data.end());
    }
    return out;
}

// The stream headers of a source (rates and sample sizes the expectations
// are computed from).
struct Headers {
    AviStreamInfo video;
    AviStreamInfo audio;
    uint32_t audioSampleSize = 0;
    bool hasAudio = false;
    // Chunk sizes of each stream in stream order. ffprobe leaves out empty
    // chunks (a repeated frame, the ffmpeg tool's empty MP3 chunks), so its
    // packet n is the n-th non-empty chunk.
    std::vector<uint32_t> videoChunks;
    std::vector<uint32_t> audioChunks;
};

// The ffprobe packets [from, to) of the chunks [first, end) of a stream.
std::pair<size_t, size_t> PacketsOf(const std::vector<uint32_t>& chunks, int64_t first,
                                    int64_t end) {
    size_t from = 0;
    size_t to = 0;
    for (int64_t k = 0; k < end && k < static_cast<int64_t>(chunks.size()); ++k) {
        if (chunks[static_cast<size_t>(k)] != 0) {
            from += k < first ? 1 : 0;
            ++to;
        }
    }
    return {from, to};
}

Headers ReadHeaders(const std::string& path) {
    Headers h;
    int32_t error = 0;
    auto file = AviFile::Open(path, &error);
    EXPECT_TRUE(file) << error;
    for (int i = 0; file && i < file->StreamCount(); ++i) {
        const AviStream& s = file->Stream(i);
        std::vector<uint32_t> sizes;
        for (int64_t k = 0; k < s.ChunkCount(); ++k) {
            sizes.push_back(s.ChunkSize(k));
        }
        if (s.IsVideo()) {
            h.video = s.Info();
            h.videoChunks = sizes;
        } else if (s.IsAudio()) {
            h.audioChunks = sizes;
            h.audio = s.Info();
            h.audioSampleSize = s.SampleSize();
            h.hasAudio = true;
        }
    }
    return h;
}

class AviExtractRun : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = test::ScratchDir();
        ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    }
    AviExtractResult Run(const std::string& src, AviTime start, AviTime end,
                         const std::string& out) {
        AviExtractJob job;
        job.source = src;
        job.output = out;
        job.start = start;
        job.end = end;
        job.directCopyBytes = directCopyBytes;
        began = 0;
        shownStart = {};
        return RunAviExtract(
            job, ctx, [this] { ++began; }, [this](const AviTime& t) { shownStart = t; });
    }
    std::string dir;
    OpContext ctx;
    int began = 0;
    AviTime shownStart;
    uint32_t directCopyBytes = AviExtractJob{}.directCopyBytes;
};

class AviExtractCodecs : public AviExtractRun, public ::testing::WithParamInterface<Source> {};

// The range 0.5 s to 1.5 s: the start moves forward to the next key frame as
// ffprobe sees the flags; every video packet of start..end arrives with its
// bytes and key flag, then the audio of the same span, byte for byte.
TEST_P(AviExtractCodecs, RangeIsCopiedAsStored) {
    // Every stored video sample goes from file to file (inside the kernel);
    // the edge cases below take the buffered way for their small frames.
    directCopyBytes = 1;
    const std::string src = MakeSource(GetParam());
    const Headers h = ReadHeaders(src);
    ASSERT_GT(h.video.dwScale, 0u);
    const double rate = static_cast<double>(h.video.dwRate) / h.video.dwScale;
    const std::vector<ProbedPacket> video = test::ProbePackets(src, "v:0");
    const int32_t frames = static_cast<int32_t>(h.videoChunks.size());
    ASSERT_EQ(video.size(), PacketsOf(h.videoChunks, 0, frames).second);
    auto isKey = [&](int32_t f) {
        const auto [from, to] = PacketsOf(h.videoChunks, f, f + 1);
        return to > from && video[from].key;
    };

    const AviTime start{0, 0, 0, 500};
    const AviTime end{0, 0, 1, 500};
    int32_t last = std::min<int32_t>(frames - 1, static_cast<int32_t>(1.5 * rate + 0.5));
    int32_t first = static_cast<int32_t>(0.5 * rate + 0.5);
    while (first != 0 && first < last && !isKey(first)) {
        ++first;
    }

    const std::string out = dir + "/out.avi";
    const AviExtractResult r = Run(src, start, end, out);
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(began, 1);
    EXPECT_EQ(r.startFrame, first);
    EXPECT_EQ(r.endFrame, last);
    EXPECT_EQ(shownStart.ToMs(), FrameTime(first, rate).ToMs());
    EXPECT_EQ(ctx.current.load(), last + 1);
    EXPECT_EQ(ctx.stop.load(), 0);  // neither stopped nor failed
    EXPECT_EQ(ReadHeaders(out).videoChunks.size(), static_cast<size_t>(last - first + 1));

    const std::vector<ProbedPacket> got = test::ProbePackets(out, "v:0");
    const auto [vFrom, vTo] = PacketsOf(h.videoChunks, first, last + 1);
    ASSERT_EQ(got.size(), vTo - vFrom);
    for (size_t i = 0; i < got.size(); ++i) {
        const ProbedPacket& want = video[vFrom + i];
        ASSERT_EQ(got[i].data, want.data) << "packet " << vFrom + i;
        ASSERT_EQ(got[i].key, want.key) << "packet " << vFrom + i;
    }
    EXPECT_TRUE(got.front().key);

    // The audio of frames first..last: positions from the streams' rates.
    ASSERT_TRUE(h.hasAudio);
    auto position = [&](int64_t frame) {
        return static_cast<int64_t>(static_cast<double>(frame) * h.video.dwScale * h.audio.dwRate /
                                    h.video.dwRate / h.audio.dwScale);
    };
    const int64_t aFirst = std::min<int64_t>(position(first), h.audio.dwLength);
    const int64_t aEnd = std::min<int64_t>(position(last + 1), h.audio.dwLength);
    const std::vector<ProbedPacket> audio = test::ProbePackets(src, "a:0");
    const std::vector<uint8_t> gotAudio = PacketBytes(test::ProbePackets(out, "a:0"));
    std::vector<uint8_t> wantAudio;
    if (h.audioSampleSize != 0) {
        const std::vector<uint8_t> all = PacketBytes(audio);
        wantAudio.assign(all.begin() + aFirst * h.audioSampleSize,
                         all.begin() + aEnd * h.audioSampleSize);
    } else {
        const auto [aFrom, aTo] = PacketsOf(h.audioChunks, aFirst, aEnd);
        wantAudio = PacketBytes(audio, aFrom, aTo);
    }
    ASSERT_FALSE(wantAudio.empty());
    EXPECT_EQ(gotAudio, wantAudio);

    // Stream headers: the source's formats and rates.
    const std::vector<std::string> vFields = {"codec_name", "width", "height", "r_frame_rate"};
    EXPECT_EQ(test::ProbeStream(out, "v:0", vFields), test::ProbeStream(src, "v:0", vFields));
    const std::vector<std::string> aFields = {"codec_name", "sample_rate", "channels",
                                              "block_align", "bits_per_sample"};
    EXPECT_EQ(test::ProbeStream(out, "a:0", aFields), test::ProbeStream(src, "a:0", aFields));
    std::string errors;
    EXPECT_TRUE(test::DecodesCleanly(out, &errors)) << errors;
}

INSTANTIATE_TEST_SUITE_P(Codecs, AviExtractCodecs, ::testing::ValuesIn(kSources),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

// 25 fps, 250 frames, a key frame every 20 frames, 16-bit mono PCM audio
// (3,528 bytes a frame).
std::string KeyEvery20() {
    return test::MakeMedia("extract-key20",
                           "-f lavfi -i testsrc=d=10:s=96x72:r=25 -f lavfi -i sine=d=10:r=44100 "
                           "-c:v mpeg4 -g 20 -bf 0 -sc_threshold 0 -c:a pcm_s16le -f avi",
                           "avi");
}

// A small file made by the writer itself: 10 frames of 25 fps whose only key
// frame is frame 5 (frame 0 is not one), and one second of 8 kHz 8-bit mono.
std::string OddKeys(const std::string& dir) {
    const std::string path = dir + "/oddkeys.avi";
    AviWriter w;
    EXPECT_EQ(w.Create(path), 0);
    AviWriterStreamInfo v;
    v.fccType = bytes::FourCC("vids");
    v.fccHandler = bytes::FourCC("FMP4");
    v.dwScale = 1;
    v.dwRate = 25;
    std::vector<uint8_t> vf(40, 0);
    bytes::PutLE32(&vf[0], 40);
    bytes::PutLE32(&vf[4], 16);
    bytes::PutLE32(&vf[8], 16);
    bytes::PutLE16(&vf[12], 1);
    bytes::PutLE16(&vf[14], 24);
    bytes::PutLE32(&vf[16], bytes::FourCC("FMP4"));
    AviWriterStreamInfo a;
    a.fccType = bytes::FourCC("auds");
    a.dwScale = 1;
    a.dwRate = 8000;
    a.dwSampleSize = 1;
    std::vector<uint8_t> af(18, 0);
    bytes::PutLE16(&af[0], 1);
    bytes::PutLE16(&af[2], 1);
    bytes::PutLE32(&af[4], 8000);
    bytes::PutLE32(&af[8], 8000);
    bytes::PutLE16(&af[12], 1);
    bytes::PutLE16(&af[14], 8);
    int vi = -1, ai = -1;
    EXPECT_EQ(w.AddStream(v, vf, &vi), 0);
    EXPECT_EQ(w.AddStream(a, af, &ai), 0);
    for (int f = 0; f < 10; ++f) {
        std::vector<uint8_t> frame(100 + f, static_cast<uint8_t>(f));
        EXPECT_EQ(w.WriteChunk(vi, frame.data(), static_cast<uint32_t>(frame.size()), f == 5), 0);
    }
    std::vector<uint8_t> pcm(8000);
    for (size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<uint8_t>(i * 7);
    }
    EXPECT_EQ(w.WriteChunk(ai, pcm.data(), static_cast<uint32_t>(pcm.size()), true), 0);
    EXPECT_EQ(w.Close(), 0);
    return path;
}

void ExpectOddFrames(const std::string& out, int32_t first, int32_t last) {
    int32_t error = 0;
    auto file = AviFile::Open(out, &error);
    ASSERT_TRUE(file) << error;
    const AviStream& v = file->Stream(0);
    ASSERT_TRUE(v.IsVideo());
    ASSERT_EQ(v.ChunkCount(), last - first + 1);
    for (int32_t f = first; f <= last; ++f) {
        const int64_t chunk = f - first;
        std::vector<uint8_t> bytes(v.ChunkSize(chunk));
        ASSERT_EQ(
            file->Stream(0).ReadChunk(chunk, bytes.data(), static_cast<int64_t>(bytes.size())), 0);
        EXPECT_EQ(bytes,
                  std::vector<uint8_t>(static_cast<size_t>(100 + f), static_cast<uint8_t>(f)))
            << f;
        // (A stream without any key frame reads as all key frames.)
        if (first <= 5 && 5 <= last) {
            EXPECT_EQ(v.ChunkIsKey(chunk), f == 5) << f;
        }
    }
}

// The edge cases of the page: fields loaded from the length, the key frame
// search, reversed and one-frame ranges, a source without audio.
TEST_F(AviExtractRun, EdgeCases) {
    const std::string key20 = KeyEvery20();
    AviRange range;
    ASSERT_EQ(ReadAviRange(key20, &range), 0);
    EXPECT_EQ(range.rate, 25.0);
    EXPECT_EQ(range.start.ToMs(), 0);
    EXPECT_EQ(range.end.ToMs(), 10000);  // the time just after frame 249

    const std::string odd = OddKeys(dir);
    const std::string noAudio = test::MakeMedia(
        "extract-noaudio", "-f lavfi -i testsrc=d=1:s=96x72:r=25 -c:v mjpeg -f avi", "avi");
    struct Case {
        const char* name;
        std::string src;
        AviTime start, end;
        int32_t first, last;  // frames copied (last < first: none)
        int64_t audioBytes;
        int64_t shownMs;  // the start fields afterwards
    };
    const Case cases[] = {
        {"whole file, end held to the last frame", key20, range.start, range.end, 0, 249,
         10 * 88200, 0},
        {"1.0 s moves to the key frame 40",
         key20,
         {0, 0, 1, 0},
         {0, 0, 3, 0},
         40,
         75,
         36 * 3528,
         1600},
        {"start on a key frame stays",
         key20,
         {0, 0, 2, 400},
         {0, 0, 3, 0},
         60,
         75,
         16 * 3528,
         2400},
        {"start and end the same frame", key20, {0, 0, 1, 600}, {0, 0, 1, 600}, 40, 40, 3528, 1600},
        {"start later than the end", key20, {0, 0, 5, 0}, {0, 0, 4, 0}, 125, 100, 0, 5000},
        {"frame 0 is never moved", odd, {0, 0, 0, 0}, {0, 0, 0, 360}, 0, 9, 3200, 0},
        {"start moves to the only key frame", odd, {0, 0, 0, 80}, {0, 0, 0, 300}, 5, 8, 1280, 200},
        {"no key frame in the range: back to the key frame before it",
         odd,
         {0, 0, 0, 240},
         {0, 0, 0, 280},
         5,
         7,
         960,
         200},
        {"source without audio", noAudio, {0, 0, 0, 0}, {0, 0, 1, 0}, 0, 24, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir + "/edge.avi";
        const AviExtractResult r = Run(c.src, c.start, c.end, out);
        ASSERT_EQ(r.code, 0);
        EXPECT_EQ(r.startFrame, c.first);
        EXPECT_EQ(r.endFrame, c.last);
        EXPECT_EQ(shownStart.ToMs(), c.shownMs);
        const int32_t frames = std::max(0, c.last - c.first + 1);
        const std::string counted = test::ProbeStream(out, "v:0", {"nb_frames"}).at("nb_frames");
        EXPECT_EQ(counted, frames == 0 && counted == "N/A" ? counted : std::to_string(frames));
        if (c.src == odd) {
            // ffmpeg's copy drops frames before the first key frame, so the
            // made-up frames (frame f: 100 + f bytes of value f, key only at
            // 5) are checked through the file layer.
            ExpectOddFrames(out, c.first, c.last);
        } else {
            const std::vector<ProbedPacket> want = test::ProbePackets(c.src, "v:0");
            const std::vector<ProbedPacket> got =
                frames > 0 ? test::ProbePackets(out, "v:0") : std::vector<ProbedPacket>{};
            ASSERT_EQ(static_cast<int32_t>(got.size()), frames);
            for (size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].data, want[static_cast<size_t>(c.first) + i].data) << i;
                EXPECT_EQ(got[i].key, want[static_cast<size_t>(c.first) + i].key) << i;
            }
        }
        EXPECT_EQ(test::ProbeStreamCount(out, 'v'), 1);
        if (c.audioBytes < 0) {
            EXPECT_EQ(test::ProbeStreamCount(out, 'a'), 0);
        } else {
            EXPECT_EQ(test::ProbeStreamCount(out, 'a'), 1);
            const auto audio = c.audioBytes > 0 ? PacketBytes(test::ProbePackets(out, "a:0"))
                                                : std::vector<uint8_t>{};
            EXPECT_EQ(static_cast<int64_t>(audio.size()), c.audioBytes);
            if (c.audioBytes > 0) {
                // The audio of the range: from the first copied frame's time on.
                const Headers h = ReadHeaders(c.src);
                const std::vector<uint8_t> all = PacketBytes(test::ProbePackets(c.src, "a:0"));
                const int64_t from = static_cast<int64_t>(c.first) * h.video.dwScale *
                                     h.audio.dwRate / h.video.dwRate / h.audio.dwScale *
                                     h.audioSampleSize;
                EXPECT_TRUE(std::equal(audio.begin(), audio.end(), all.begin() + from));
            }
        }
    }
}

// Stop after the third frame: the output holds those frames and no audio
// samples, closed properly; nothing is reported.
// Outputs that players can decode from their first frame: a range without
// a key frame starts at the key frame before it, and a stream of pictures
// that stand alone (PNG from GStreamer's muxer, whose index flags no key
// frame) is cut where asked, every frame flagged as a key frame.
TEST_F(AviExtractRun, OutputsDecodeFromTheirFirstFrame) {
    const std::string gop10s = test::MakeMedia(
        "extract-x264-gop250",
        "-f lavfi -i testsrc=d=8:s=32x24:r=25 -c:v libx264 -preset ultrafast -g 250 "
        "-pix_fmt yuv420p -f avi",
        "avi");
    const std::string png = test::MakeGstMedia(
        "extract-gst-png",
        "videotestsrc num-buffers=50 ! video/x-raw,width=32,height=24,framerate=25/1 ! pngenc ! "
        "avimux ! filesink location=OUT",
        "avi");
    const struct {
        const char* name;
        std::string src;
        AviTime start, end;
        int first, last;  // frames written
        size_t keys;      // key frames ffprobe sees in the output
    } cases[] = {
        {"x264, key frames 10 s apart, 3.3-6.7 s", gop10s, {0, 0, 3, 300}, {0, 0, 6, 700}, 0, 168, 1},
        {"GStreamer PNG without key flags", png, {0, 0, 0, 500}, {0, 0, 1, 0}, 13, 25, 13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir + "/decodes.avi";
        const AviExtractResult r = Run(c.src, c.start, c.end, out);
        ASSERT_EQ(r.code, 0);
        EXPECT_EQ(r.startFrame, c.first);
        EXPECT_EQ(r.endFrame, c.last);
        const auto packets = test::ProbePackets(out, "v:0");
        ASSERT_EQ(packets.size(), static_cast<size_t>(c.last - c.first + 1));
        EXPECT_TRUE(packets.front().key);
        EXPECT_EQ(static_cast<size_t>(std::count_if(packets.begin(), packets.end(),
                                                    [](const auto& p) { return p.key; })),
                  c.keys);
        std::string errors;
        EXPECT_TRUE(test::DecodesCleanly(out, &errors)) << errors;
    }
}

TEST_F(AviExtractRun, StopKeepsFramesSoFarWithoutAudio) {
    const std::string src = KeyEvery20();
    const std::string out = dir + "/stopped.avi";
    int units = 0;
    ctx.pump = [&] {
        if (++units == 3) {
            ctx.stop = 1;
        }
    };
    const AviExtractResult r = Run(src, {0, 0, 0, 0}, {0, 0, 10, 0}, out);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(ctx.stop.load(), 1);
    EXPECT_EQ(ctx.current.load(), 3);
    const auto want = test::ProbePackets(src, "v:0");
    const auto got = test::ProbePackets(out, "v:0");
    ASSERT_EQ(got.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i].data, want[i].data);
    }
    EXPECT_EQ(test::ProbeStreamCount(out, 'a'), 1);
    EXPECT_TRUE(test::ProbePackets(out, "a:0").empty());
    EXPECT_TRUE(test::DecodesCleanly(out));
}

// What cannot work is refused with a code; no source is ever touched.
TEST_F(AviExtractRun, FailuresGiveCodes) {
    const std::string src = test::CopyFile(KeyEvery20(), dir);
    const std::vector<uint8_t> before = test::ReadBytes(src);
    ASSERT_EQ(::symlink(src.c_str(), (dir + "/link.avi").c_str()), 0);
    ::mkdir((dir + "/sub").c_str(), 0755);
    test::WriteBytes(dir + "/junk.avi", std::vector<uint8_t>(100, 'x'));
    const std::string wav =
        test::MakeMedia("extract-wav", "-f lavfi -i sine=d=1:r=8000 -c:a pcm_s16le", "wav");
    const std::string name = src.substr(src.rfind('/') + 1);
    struct Case {
        const char* name;
        std::string src, out;
        int32_t code;
        bool started;
    };
    const Case cases[] = {
        {"output is the source", src, src, err::kOutputCannotBeMade, false},
        {"output is the source through a link", src, dir + "/link.avi", err::kOutputCannotBeMade,
         false},
        {"output is the source spelled otherwise", src, dir + "/./sub/../" + name,
         err::kOutputCannotBeMade, false},
        {"missing source", dir + "/missing.avi", dir + "/o1.avi", err::kFileOpen, false},
        {"not a media file", dir + "/junk.avi", dir + "/o2.avi", err::kFileOpen, false},
        {"no video", wav, dir + "/o3.avi", err::kNoVideo, false},
        {"output folder missing", src, dir + "/no/such/o4.avi", err::kSaveCreate, false},
    };
    for (const Case& c : cases) {
        const AviExtractResult r = Run(c.src, {0, 0, 0, 0}, {0, 0, 1, 0}, c.out);
        EXPECT_EQ(r.code, c.code) << c.name;
        EXPECT_EQ(r.started, c.started) << c.name;
        EXPECT_EQ(began, 0) << c.name;
    }
    EXPECT_EQ(test::ReadBytes(src), before);
    // A source that cannot be read leaves an existing output alone.
    test::WriteBytes(dir + "/kept.avi", {4, 5, 6});
    EXPECT_EQ(Run(dir + "/missing.avi", {}, {0, 0, 1, 0}, dir + "/kept.avi").code, err::kFileOpen);
    EXPECT_EQ(test::ReadBytes(dir + "/kept.avi"), (std::vector<uint8_t>{4, 5, 6}));
    AviRange range;
    EXPECT_EQ(ReadAviRange(dir + "/junk.avi", &range), err::kFileOpen);
    EXPECT_EQ(range.rate, 0);
}

// The third-party samples, whole: every video packet as stored, and the
// audio of the video's span, a leading part of the source's audio bytes.
TEST_F(AviExtractRun, SampleFilesWhole) {
    const std::vector<std::string> samples = test::SamplesIn("avi");
    if (samples.empty()) {
        GTEST_SKIP() << "no samples";
    }
    for (const std::string& src : samples) {
        SCOPED_TRACE(src);
        AviRange range;
        ASSERT_EQ(ReadAviRange(src, &range), 0);
        const std::string out = dir + "/sample.avi";
        const AviExtractResult r = Run(src, range.start, range.end, out);
        ASSERT_EQ(r.code, 0);
        const Headers h = ReadHeaders(src);
        EXPECT_EQ(ReadHeaders(out).videoChunks, h.videoChunks);
        if (PacketsOf(h.videoChunks, 0, static_cast<int64_t>(h.videoChunks.size())).second == 0) {
            continue;  // headers only (the header's frame count has nothing behind it)
        }
        const auto want = test::ProbePackets(src, "v:0");
        const auto got = test::ProbePackets(out, "v:0");
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].data, want[i].data) << i;
            EXPECT_EQ(got[i].key, want[i].key) << i;
        }
        if (h.hasAudio) {
            const std::vector<uint8_t> all = PacketBytes(test::ProbePackets(src, "a:0"));
            const std::vector<uint8_t> part = PacketBytes(test::ProbePackets(out, "a:0"));
            EXPECT_FALSE(part.empty());
            ASSERT_LE(part.size(), all.size());
            EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin()));
        }
    }
}

// A video stream that starts late (its header's start is frame 10, as some
// editors write when a video begins after its sound): the range as loaded
// covers all its frames, and extracting it copies every one of them.
TEST_F(AviExtractRun, LateStartingVideoIsExtractedWhole) {
    const std::string made =
        test::MakeMedia("extract-late",
                        "-f lavfi -i testsrc=d=2:s=160x120:r=25 -f lavfi -i sine=d=2:r=8000 "
                        "-c:v mpeg4 -g 5 -c:a pcm_s16le -f avi",
                        "avi");
    std::vector<uint8_t> b = test::ReadBytes(made);
    const std::string strh = "strh";
    const auto at = std::search(b.begin(), b.end(), strh.begin(), strh.end());
    ASSERT_NE(at, b.end());
    bytes::PutLE32(&*at + 8 + 28, 10);  // dwStart of the first (video) stream
    const std::string src = dir + "/late.avi";
    test::WriteBytes(src, b);

    AviRange range;
    ASSERT_EQ(ReadAviRange(src, &range), 0);
    EXPECT_EQ(range.start.ToMs(), 400);
    EXPECT_EQ(range.end.ToMs(), 2400);
    const std::string out = dir + "/late-out.avi";
    const AviExtractResult r = Run(src, range.start, range.end, out);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.startFrame, 10);
    EXPECT_EQ(r.endFrame, 59);
    test::ExpectSamePackets(test::ProbePackets(src, "v:0"), test::ProbePackets(out, "v:0"),
                            "late-starting video");
    // A start before the stream's first frame begins at that frame.
    EXPECT_EQ(Run(src, {}, {0, 0, 1, 0}, out).startFrame, 10);
}

// A file whose reads fail once `fail` is set.
class FailingReads : public IoFile {
  public:
    FailingReads(std::unique_ptr<IoFile> inner, const bool& fail)
        : m_inner(std::move(inner)), m_fail(fail) {}
    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        return m_fail ? -1 : m_inner->ReadAt(offset, buf, n);
    }
    bool WriteAt(uint64_t offset, const void* buf, size_t n) override {
        return m_inner->WriteAt(offset, buf, n);
    }
    int64_t Size() override { return m_inner->Size(); }
    bool Truncate(uint64_t size) override { return m_inner->Truncate(size); }
    bool Close() override { return m_inner->Close(); }

  private:
    std::unique_ptr<IoFile> m_inner;
    const bool& m_fail;
};

// A full disk while the video is copied: 2006, the stop flag set, and what
// reached the disk stays a readable file. A source whose reads start failing
// after a few frames: 1007, likewise.
TEST_F(AviExtractRun, ReadAndWriteFailuresEndTheCopy) {
    // Frames of several kilobytes: the write buffer reaches the disk while
    // the video is copied.
    const std::string src = test::MakeMedia(
        "extract-mjpeg10",
        "-f lavfi -i testsrc=d=10:s=160x120:r=25 -f lavfi -i sine=d=10:r=44100 -c:v mjpeg "
        "-c:a pcm_s16le -f avi",
        "avi");
    struct Case {
        const char* name;
        uint64_t writeLimit;
        bool failReads;
        int32_t code;
    };
    const Case cases[] = {
        {"disk full", 300000, false, err::kStreamWrite},
        {"source unreadable", FaultyFile::kNoLimit, true, err::kStreamRead},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir + "/fail.avi";
        bool fail = false;
        ctx.opener = [&](const std::string& p, OpenMode m) -> std::unique_ptr<IoFile> {
            auto f = OpenDiskFile(p, m);
            if (!f) {
                return nullptr;
            }
            if (m == OpenMode::Read) {
                return std::make_unique<FailingReads>(std::move(f), fail);
            }
            return std::make_unique<FaultyFile>(std::move(f), c.writeLimit);
        };
        int units = 0;
        ctx.pump = [&] {
            if (++units == 60 && c.failReads) {
                fail = true;
            }
        };
        const AviExtractResult r = Run(src, {0, 0, 0, 0}, {0, 0, 10, 0}, out);
        EXPECT_EQ(r.code, c.code);
        EXPECT_TRUE(r.started);
        EXPECT_EQ(ctx.stop.load(), 1);
        // What was copied went beside the output and is gone with the
        // failure: no output, nothing hidden left behind.
        EXPECT_FALSE(std::filesystem::exists(out));
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            EXPECT_EQ(e.path().filename().string().rfind(".fail", 0), std::string::npos);
        }
        ctx.opener = DiskFileOpener();
        ctx.pump = {};
    }
}

// The plan of a cut (the preview and --dry-run) against the key frames an
// independent reader sees: the start moves to the first key frame at or
// after it; a range that holds none is flagged, and the run warns of it.
TEST(AviExtractPlanTest, StartMovesToTheNextKeyFrameOrIsFlagged) {
    const std::string src = test::MakeMedia(
        "plan-gop", "-f lavfi -i testsrc=d=10:s=64x48:r=25 -c:v mpeg4 -g 100", "avi");
    std::vector<int> keys;
    const auto packets = test::ProbePackets(src, "v:0");
    for (size_t i = 0; i < packets.size(); ++i) {
        if (packets[i].key) {
            keys.push_back(static_cast<int>(i));
        }
    }
    ASSERT_EQ(keys, (std::vector<int>{0, 100, 200}));
    const struct {
        int64_t fromMs, toMs;
        int startFrame;
        bool keyFound;
    } cases[] = {{0, 2000, 0, true}, {3500, 6000, 100, true}, {4000, 4000, 100, true},
                 // No key frame in the range: back to the one before it.
                 {1000, 2000, 0, false}, {8100, 9999, 200, false}, {5000, 5000, 100, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.fromMs) + "-" + std::to_string(c.toMs));
        AviExtractJob job;
        job.source = src;
        job.output = test::ScratchDir() + "/plan.avi";
        job.start = AviTime::FromMs(c.fromMs);
        job.end = AviTime::FromMs(c.toMs);
        AviExtractPlan plan;
        ASSERT_EQ(PlanAviExtract(job, &plan), 0);
        EXPECT_EQ(plan.startFrame, c.startFrame);
        EXPECT_EQ(plan.keyFound, c.keyFound);
        EXPECT_EQ(plan.start.ToMs(), c.startFrame * 40);
        EXPECT_EQ(plan.durationMs, (plan.endFrame - plan.startFrame + 1) * 40);
        OpContext ctx;
        std::vector<std::string> warnings;
        ctx.warn = [&](const std::string& w) { warnings.push_back(w); };
        const AviExtractResult r = RunAviExtract(job, ctx);
        ASSERT_EQ(r.code, 0);
        EXPECT_EQ(r.startFrame, plan.startFrame);
        EXPECT_EQ(r.endFrame, plan.endFrame);
        EXPECT_EQ(warnings.size(), c.keyFound ? 0u : 1u);
    }
}

}  // namespace
}  // namespace trelvan
