#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "AudioExtract.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "IoFile.h"
#include "Probe.h"

namespace trelvan {
namespace {

TEST(AudioExtractTimes, PositionsAndDurations) {
    // 44,100 Hz 16-bit stereo: A = 176,400, B = 4.
    EXPECT_EQ(AudioTimeToPosition({0, 0, 2, 500}, 176400, 4), 110250u);
    EXPECT_EQ(AudioTimeToPosition({0, 0, 5, 0}, 176400, 4), 220500u);
    EXPECT_EQ(AudioTimeToPosition({1, 2, 3, 4}, 176400, 4), 164184476u);
    EXPECT_EQ(AudioTimeToPosition({0, 0, 1, 0}, 0, 4), 0u);
    EXPECT_EQ(AudioTimeToPosition({0, 0, 1, 0}, 176400, 0), 0u);

    const AudioTime ten = AudioDuration(441000, 176400, 4);
    EXPECT_EQ(ten.hours, 0);
    EXPECT_EQ(ten.minutes, 0);
    EXPECT_EQ(ten.seconds, 10);
    EXPECT_EQ(ten.milliseconds, 0);
    const AudioTime odd = AudioDuration(44100 * 3725 + 441 * 37 + 1, 176400, 4);
    EXPECT_EQ(odd.hours, 1);
    EXPECT_EQ(odd.minutes, 2);
    EXPECT_EQ(odd.seconds, 5);
    EXPECT_EQ(odd.milliseconds, 370);

    const AudioTime t = AudioTime::FromMs(3723004);
    EXPECT_EQ(t.hours, 1);
    EXPECT_EQ(t.minutes, 2);
    EXPECT_EQ(t.seconds, 3);
    EXPECT_EQ(t.milliseconds, 4);
}

// The chunks of a RIFF WAVE file: id -> (offset of the body, size).
struct Chunks {
    std::map<std::string, std::pair<size_t, uint32_t>> at;
    uint32_t riffSize = 0;
};

Chunks ReadChunks(const std::vector<uint8_t>& b) {
    Chunks c;
    if (b.size() < 12) {
        return c;
    }
    c.riffSize = bytes::GetLE32(b.data() + 4);
    size_t pos = 12;
    while (pos + 8 <= b.size()) {
        const std::string id(reinterpret_cast<const char*>(b.data() + pos), 4);
        const uint32_t size = bytes::GetLE32(b.data() + pos + 4);
        c.at[id] = {pos + 8, size};
        pos += 8 + size + (size & 1);
    }
    return c;
}

std::vector<uint8_t> Concat(const std::vector<test::ProbedPacket>& packets) {
    std::vector<uint8_t> out;
    for (const auto& p : packets) {
        out.insert(out.end(), p.data.begin(), p.data.end());
    }
    return out;
}

// 10 s of noise, 44,100 Hz, 16-bit stereo (A = 176,400, B = 4).
std::string TenSecondPcm() {
    return test::MakeMedia(
        "ten-seconds", "-f lavfi -i anoisesrc=d=10:r=44100:a=0.5:s=7 -ac 2 -c:a pcm_s16le", "wav");
}

// The plan of a range against the run just made of it: the same first and
// end positions, the samples the output holds, and the times of both ends.
void ExpectPlanOfRun(const std::string& source, AudioTime start, AudioTime end,
                     const OpContext& ran, uint32_t samples) {
    AudioExtractJob job;
    job.source = source;
    job.start = start;
    job.end = end;
    AudioExtractPlan plan;
    ASSERT_EQ(PlanAudioExtract(job, &plan), 0);
    EXPECT_EQ(plan.firstSample, static_cast<uint32_t>(ran.first.load()));
    EXPECT_EQ(plan.endSample, static_cast<uint32_t>(ran.current.load()));
    EXPECT_EQ(plan.samples, samples);
    const AudioClock& c = plan.clock;
    auto ms = [](const AudioTime& t) {
        return ((t.hours * 60 + t.minutes) * 60 + t.seconds) * 1000 + t.milliseconds;
    };
    EXPECT_EQ(ms(plan.start), ms(AudioDuration(plan.firstSample, c.perSecond, c.seconds)));
    EXPECT_EQ(ms(plan.duration), ms(AudioDuration(samples, c.perSecond, c.seconds)));
}

class AudioExtractRun : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = test::ScratchDir();
        source = TenSecondPcm();
    }
    AudioExtractResult Run(AudioTime start, AudioTime end, const std::string& out) {
        AudioExtractJob job;
        job.source = source;
        job.output = out;
        job.start = start;
        job.end = end;
        job.blockBytes = blockBytes;
        job.riffSizeLimit = riffLimit;
        began = 0;
        return RunAudioExtract(job, ctx, [this] { ++began; });
    }
    std::string dir;
    std::string source;
    OpContext ctx;
    uint32_t blockBytes = 400000;
    uint64_t riffLimit = 0;
    int began = 0;
};

// The range 2.5 s to 5 s of the 10-second source: positions 110,250 to
// 220,500, 441,000 data bytes, each the source's own.
TEST_F(AudioExtractRun, PcmRangeIsCopiedByteForByte) {
    AudioTime length;
    ASSERT_EQ(ReadAudioDuration(source, &length), 0);
    EXPECT_EQ(length.seconds, 10);
    EXPECT_EQ(length.milliseconds, 0);

    const std::string out = dir + "/a_extr.wav";
    const AudioExtractResult r = Run({0, 0, 2, 500}, {0, 0, 5, 0}, out);
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(began, 1);
    EXPECT_EQ(ctx.first.load(), 110250);
    EXPECT_EQ(ctx.last.load(), 220500);
    EXPECT_EQ(ctx.current.load(), 220500);
    EXPECT_EQ(ctx.stop.load(), 0);  // neither stopped nor failed

    const std::vector<uint8_t> written = test::ReadBytes(out);
    const Chunks chunks = ReadChunks(written);
    ASSERT_TRUE(chunks.at.count("data"));
    EXPECT_EQ(chunks.at.at("data").second, 441000u);
    EXPECT_EQ(chunks.riffSize + 8, written.size());
    ASSERT_TRUE(chunks.at.count("fact"));
    EXPECT_EQ(bytes::GetLE32(written.data() + chunks.at.at("fact").first), 110250u);

    // Through ffmpeg: the output's samples are the source's, from 110,250 on.
    const std::vector<uint8_t> all = Concat(test::ProbePackets(source, "a:0"));
    const std::vector<uint8_t> got = Concat(test::ProbePackets(out, "a:0"));
    ASSERT_EQ(got.size(), 441000u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin() + 110250 * 4));
    const auto info = test::ProbeStream(out, "a:0", {"codec_name", "sample_rate", "channels"});
    EXPECT_EQ(info.at("codec_name"), "pcm_s16le");
    EXPECT_EQ(info.at("sample_rate"), "44100");
    EXPECT_EQ(info.at("channels"), "2");
}

TEST_F(AudioExtractRun, EdgeRanges) {
    struct Case {
        const char* name;
        AudioTime start, end;
        uint32_t dataBytes;
    };
    const Case cases[] = {
        {"start equals end", {0, 0, 3, 0}, {0, 0, 3, 0}, 0},
        {"end past the stream", {0, 0, 9, 0}, {0, 0, 20, 0}, 176400},
        {"start past the stream", {0, 0, 30, 0}, {0, 0, 40, 0}, 0},
        {"start after end", {0, 0, 5, 0}, {0, 0, 4, 0}, 0},
        {"whole", {0, 0, 0, 0}, {0, 0, 10, 0}, 1764000},
    };
    for (const Case& c : cases) {
        const std::string out = dir + "/edge.wav";
        const AudioExtractResult r = Run(c.start, c.end, out);
        EXPECT_EQ(r.code, 0) << c.name;
        const std::vector<uint8_t> written = test::ReadBytes(out);
        const Chunks chunks = ReadChunks(written);
        ASSERT_TRUE(chunks.at.count("data")) << c.name;
        EXPECT_EQ(chunks.at.at("data").second, c.dataBytes) << c.name;
        EXPECT_EQ(chunks.riffSize + 8, written.size()) << c.name;
        ExpectPlanOfRun(source, c.start, c.end, ctx, c.dataBytes / 4);
    }
}

// Stop after the first unit: the loop finishes its current unit, the file is
// closed with a valid header for what was written.
TEST_F(AudioExtractRun, StopLeavesValidShorterFile) {
    blockBytes = 40000;
    const std::string out = dir + "/stopped.wav";
    int units = 0;
    ctx.pump = [&] {
        if (++units == 1) {
            ctx.stop = 1;
        }
    };
    const AudioExtractResult r = Run({0, 0, 0, 0}, {0, 0, 10, 0}, out);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(ctx.stop.load(), 1);
    const std::vector<uint8_t> written = test::ReadBytes(out);
    const Chunks chunks = ReadChunks(written);
    EXPECT_EQ(chunks.at.at("data").second, 80000u);
    EXPECT_EQ(chunks.riffSize + 8, written.size());
    const std::vector<uint8_t> all = Concat(test::ProbePackets(source, "a:0"));
    const std::vector<uint8_t> got = Concat(test::ProbePackets(out, "a:0"));
    ASSERT_EQ(got.size(), 80000u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin()));
}

// What cannot work is refused with a code, and no source is ever touched.
TEST_F(AudioExtractRun, FailuresGiveCodes) {
    const std::vector<uint8_t> before = test::ReadBytes(source);
    const std::string copy = test::CopyFile(source, dir);
    ASSERT_EQ(::symlink(copy.c_str(), (dir + "/link.wav").c_str()), 0);

    struct Case {
        const char* name;
        std::string src, out;
        int32_t code;
        bool started, detail;
    };
    const Case cases[] = {
        {"output is the source", copy, copy, err::kOutputCannotBeMade, false, false},
        {"output is the source through a link", copy, dir + "/link.wav", err::kOutputCannotBeMade,
         false, false},
        {"output is the source spelled otherwise", copy,
         dir + "/./sub/../" + copy.substr(copy.rfind('/') + 1), err::kOutputCannotBeMade, false,
         false},
        {"missing source", dir + "/missing.wav", dir + "/o1.wav", err::kFileOpen, false, true},
        {"not a media file", dir + "/junk.wav", dir + "/o2.wav", err::kFileOpen, false, true},
        {"output folder missing", copy, dir + "/no/such/o3.wav", err::kFileDoesNotOpen, false,
         false},
    };
    test::WriteBytes(dir + "/junk.wav", std::vector<uint8_t>(100, 'x'));
    // A PCM file whose format gives no byte rate: no division by it; the
    // rate its sample rate and block size imply stands in.
    std::vector<uint8_t> norate = test::ReadBytes(copy);
    bytes::PutLE32(norate.data() + 28, 0);
    test::WriteBytes(dir + "/norate.wav", norate);
    AudioTime length;
    EXPECT_EQ(ReadAudioDuration(dir + "/norate.wav", &length), 0);
    EXPECT_EQ(length.seconds, 10);
    ::mkdir((dir + "/sub").c_str(), 0755);
    for (const Case& c : cases) {
        source = c.src;
        const AudioExtractResult r = Run({0, 0, 0, 0}, {0, 0, 1, 0}, c.out);
        EXPECT_EQ(r.code, c.code) << c.name;
        EXPECT_EQ(r.started, c.started) << c.name;
        EXPECT_EQ(r.sourceInDetail, c.detail) << c.name;
        EXPECT_EQ(began, 0) << c.name;
        if (c.detail) {  // a source the plan cannot read either, with the same code
            AudioExtractJob job;
            job.source = c.src;
            AudioExtractPlan plan;
            EXPECT_EQ(PlanAudioExtract(job, &plan), c.code) << c.name;
        }
    }
    EXPECT_EQ(test::ReadBytes(copy), before);
    // A source that cannot be read leaves an existing output alone.
    test::WriteBytes(dir + "/kept.wav", {4, 5, 6});
    source = dir + "/missing.wav";
    EXPECT_EQ(Run({0, 0, 0, 0}, {0, 0, 1, 0}, dir + "/kept.wav").code, err::kFileOpen);
    EXPECT_EQ(test::ReadBytes(dir + "/kept.wav"), (std::vector<uint8_t>{4, 5, 6}));
    EXPECT_EQ(test::ReadBytes(TenSecondPcm()), before);
}

// The WAV file's 32-bit size limit: the write that would pass it is refused
// and the run ends with 502; what was written stays a valid file.
TEST_F(AudioExtractRun, SizeLimitGives502) {
    blockBytes = 40000;
    riffLimit = 100000;
    const std::string out = dir + "/limit.wav";
    test::WriteBytes(out, {'o', 'l', 'd'});
    const AudioExtractResult r = Run({0, 0, 0, 0}, {0, 0, 10, 0}, out);
    EXPECT_EQ(r.code, err::kOutput);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(ctx.stop.load(), 1);  // no 100 % for a failed run
    // The failed run's file went beside the output and is gone; the file
    // that was there before stays.
    EXPECT_EQ(test::ReadBytes(out), std::vector<uint8_t>({'o', 'l', 'd'}));
}

TEST_F(AudioExtractRun, FullDiskGives502) {
    ctx.opener = [](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
        auto inner = DiskFileOpener()(path, mode);
        if (!inner) {
            return nullptr;
        }
        return std::make_unique<FaultyFile>(std::move(inner), 200000);
    };
    const AudioExtractResult r = Run({0, 0, 0, 0}, {0, 0, 10, 0}, dir + "/full.wav");
    EXPECT_EQ(r.code, err::kOutput);
    EXPECT_EQ(ctx.stop.load(), 1);
}

TEST_F(AudioExtractRun, ReadOnlyOutputIsReplaced) {
    const std::string out = dir + "/old.wav";
    test::WriteBytes(out, {1, 2, 3});
    ASSERT_EQ(::chmod(out.c_str(), 0444), 0);
    ASSERT_EQ(Run({0, 0, 1, 0}, {0, 0, 2, 0}, out).code, 0);
    EXPECT_EQ(ReadChunks(test::ReadBytes(out)).at.at("data").second, 176400u);
}

// Compressed sources (MPEG audio in an AVI): the output WAV holds the
// source's compressed bytes unchanged, in the source's format. At 32 kHz and
// 320 kbit/s an MP3 frame (1,440 bytes) is larger than the 1,152 bytes the
// format's block alignment claims, so reads must follow the chunks.
TEST(AudioExtractCompressed, MpegAudioInAviKeepsItsBytes) {
    struct Case {
        const char* name;
        const char* recipe;
        const char* codec;
        const char* rate;
    };
    const Case cases[] = {
        {"mp2-in-avi",
         "-f lavfi -i testsrc=d=3:s=64x48:r=10 -f lavfi -i sine=f=300:d=3:r=44100 -c:v mjpeg "
         "-c:a mp2 -b:a 128k",
         "mp2", "44100"},
        {"mp3-avi-32k-320",
         "-f lavfi -i testsrc=d=2:s=64x48:r=10 -f lavfi -i anoisesrc=d=2:r=32000:s=5 "
         "-c:v mjpeg -c:a libmp3lame -b:a 320k",
         "mp3", "32000"},
        {"mp3-avi-vbr",
         "-f lavfi -i testsrc=d=3:s=64x48:r=10 -f lavfi -i sine=f=700:d=3:r=44100 -c:v mjpeg "
         "-c:a libmp3lame -q:a 4",
         "mp3", "44100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src = test::MakeMedia(c.name, c.recipe, "avi");
        AudioTime length;
        ASSERT_EQ(ReadAudioDuration(src, &length), 0);
        const std::string out = test::ScratchDir() + "/" + c.name + ".wav";
        AudioExtractJob job;
        job.source = src;
        job.output = out;
        job.end = length;
        job.end.milliseconds += 1;  // the whole stream
        OpContext ctx;
        ASSERT_EQ(RunAudioExtract(job, ctx).code, 0);
        const auto info = test::ProbeStream(out, "a:0", {"codec_name", "sample_rate"});
        EXPECT_EQ(info.at("codec_name"), c.codec);
        EXPECT_EQ(info.at("sample_rate"), c.rate);
        const std::vector<uint8_t> want = Concat(test::ProbePackets(src, "a:0"));
        const std::vector<uint8_t> got = Concat(test::ProbePackets(out, "a:0"));
        EXPECT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want);
        // Frames one per chunk: the plan counts the chunks the run copied.
        ExpectPlanOfRun(src, job.start, job.end, ctx,
                        static_cast<uint32_t>(test::ProbePackets(out, "a:0").size()));
    }
}

// MP3 in a WAV file whose format gives no byte rate (as ffmpeg writes them,
// with a block of 1152 bytes): the length and the cut follow the frames'
// bit rate, not one block per sample period.
TEST(AudioExtractCompressed, MpegWavWithoutByteRateIsTimedByItsFrames) {
    const std::string src = test::MakeMedia(
        "mp3-wav-no-rate", "-f lavfi -i sine=d=3:r=44100 -c:a libmp3lame -b:a 64k -f wav", "wav");
    AudioTime length;
    ASSERT_EQ(ReadAudioDuration(src, &length), 0);
    EXPECT_EQ(length.seconds, 3);  // 3.03 s of 64 kbit/s frames
    AudioExtractJob job;
    job.source = src;
    job.output = test::ScratchDir() + "/mid.wav";
    job.start = AudioTime::FromMs(1000);
    job.end = AudioTime::FromMs(2000);
    OpContext ctx;
    ASSERT_EQ(RunAudioExtract(job, ctx).code, 0);
    // One second of 8000 bytes, cut at 1152-byte blocks.
    const auto size = static_cast<int64_t>(Concat(test::ProbePackets(job.output, "a:0")).size());
    EXPECT_NEAR(size, 8000, 1152 + 418);
}

}  // namespace
}  // namespace trelvan
