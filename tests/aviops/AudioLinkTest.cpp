#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "AudioLink.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "IoFile.h"
#include "Probe.h"

namespace trelvan {
namespace {

// The chunks of a RIFF WAVE file: id -> (offset of the body, size).
struct Chunks {
    std::map<std::string, std::pair<size_t, uint32_t>> at;
    uint32_t riffSize = 0;
    uint32_t Size(const std::string& id) const { return at.count(id) ? at.at(id).second : ~0u; }
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

uint32_t FactValue(const std::vector<uint8_t>& b) {
    const Chunks c = ReadChunks(b);
    return c.at.count("fact") ? bytes::GetLE32(b.data() + c.at.at("fact").first) : ~0u;
}

// Every audio byte of a file's last audio stream (the one the link reads), as
// ffmpeg sees it.
std::vector<uint8_t> AudioBytes(const std::string& path) {
    const int streams = test::ProbeStreamCount(path, 'a');
    std::vector<uint8_t> out;
    for (const auto& p : test::ProbePackets(path, "a:" + std::to_string(streams - 1))) {
        out.insert(out.end(), p.data.begin(), p.data.end());
    }
    return out;
}

// The sources' audio bytes one after the other (each file probed once).
std::vector<uint8_t> Joined(const std::vector<std::string>& sources) {
    std::map<std::string, std::vector<uint8_t>> probed;
    std::vector<uint8_t> out;
    for (const std::string& s : sources) {
        auto it = probed.find(s);
        if (it == probed.end()) {
            it = probed.emplace(s, AudioBytes(s)).first;
        }
        out.insert(out.end(), it->second.begin(), it->second.end());
    }
    return out;
}

// Seconds of noise, 44,100 Hz, 16-bit stereo.
std::string Pcm(int seconds, int seed) {
    return test::MakeMedia("pcm-" + std::to_string(seconds) + "s-" + std::to_string(seed),
                           "-f lavfi -i anoisesrc=d=" + std::to_string(seconds) +
                               ":r=44100:a=0.5:s=" + std::to_string(seed) + " -ac 2 -c:a pcm_s16le",
                           "wav");
}

class AudioLinkRun : public ::testing::Test {
  protected:
    void SetUp() override { dir = test::ScratchDir(); }
    AudioLinkResult Run(const std::vector<std::string>& sources, const std::string& out) {
        AudioLinkJob job;
        job.sources = sources;
        job.output = out;
        job.blockBytes = blockBytes;
        job.riffSizeLimit = riffLimit;
        began = 0;
        return RunAudioLink(job, ctx, [this] { ++began; });
    }
    std::string dir;
    OpContext ctx;
    uint32_t blockBytes = 48000;
    uint64_t riffLimit = 0;
    int began = 0;
};

// 1 s + 2 s of 44,100 Hz 16-bit stereo: 3 s, 529,200 data bytes, fact
// 132,300, every byte the sources' own in list order.
TEST_F(AudioLinkRun, OneAndTwoSecondsGiveThreeSeconds) {
    const std::vector<std::string> sources = {Pcm(1, 1), Pcm(2, 2)};
    const std::string out = dir + "/a_link.wav";
    const AudioLinkResult r = Run(sources, out);
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(began, 1);
    EXPECT_EQ(ctx.stop.load(), 0);  // neither stopped nor failed: 100 % follows
    EXPECT_EQ(ctx.items.load(), 2);

    const std::vector<uint8_t> written = test::ReadBytes(out);
    const Chunks chunks = ReadChunks(written);
    EXPECT_EQ(chunks.Size("data"), 529200u);
    EXPECT_EQ(FactValue(written), 132300u);
    EXPECT_EQ(chunks.riffSize + 8, written.size());
    EXPECT_EQ(AudioBytes(out), Joined(sources));
    const auto info =
        test::ProbeStream(out, "a:0", {"codec_name", "sample_rate", "channels", "duration"});
    EXPECT_EQ(info.at("codec_name"), "pcm_s16le");
    EXPECT_EQ(info.at("sample_rate"), "44100");
    EXPECT_EQ(info.at("channels"), "2");
    EXPECT_EQ(info.at("duration"), "3.000000");
}

// Sources of every kind the page takes: WAV files, the audio of AVI files
// (the last audio stream when there are two), compressed audio copied
// unchanged, and sources of different formats appended under the first one's
// format.
TEST_F(AudioLinkRun, SourceKindsAreCopiedByteForByte) {
    const std::string aviPcm = test::MakeMedia(
        "avi-pcm-2s",
        "-f lavfi -i testsrc=d=2:s=64x48:r=10 -f lavfi -i sine=f=300:d=2:r=44100 -ac 2 "
        "-c:v mjpeg -c:a pcm_s16le",
        "avi");
    const std::string aviTwo = test::MakeMedia(
        "avi-two-audio",
        "-f lavfi -i testsrc=d=1:s=64x48:r=10 -f lavfi -i sine=f=300:d=1:r=22050 "
        "-f lavfi -i anoisesrc=d=1:r=44100:s=3 -map 0 -map 1 -map 2 -ac 2 -c:v mjpeg "
        "-c:a pcm_s16le",
        "avi");
    const std::string ima1 = test::MakeMedia(
        "ima-1s", "-f lavfi -i anoisesrc=d=1:r=44100:s=4 -ac 2 -c:a adpcm_ima_wav", "wav");
    const std::string ima2 = test::MakeMedia(
        "ima-2s", "-f lavfi -i sine=f=500:d=2:r=44100 -ac 2 -c:a adpcm_ima_wav", "wav");
    const std::string mp3a = test::MakeMedia(
        "mp3-avi-a",
        "-f lavfi -i testsrc=d=2:s=64x48:r=10 -f lavfi -i sine=f=300:d=2:r=44100 -c:v mjpeg "
        "-c:a libmp3lame -b:a 128k",
        "avi");
    const std::string mp3b = test::MakeMedia(
        "mp3-avi-b",
        "-f lavfi -i testsrc=d=3:s=64x48:r=10 -f lavfi -i sine=f=700:d=3:r=44100 -c:v mjpeg "
        "-c:a libmp3lame -q:a 4",
        "avi");
    // At 32 kHz and 320 kbit/s an MP3 frame (1,440 bytes) is larger than the
    // 1,152 the format's block alignment claims.
    const std::string mp3big = test::MakeMedia(
        "mp3-avi-32k-320",
        "-f lavfi -i testsrc=d=2:s=64x48:r=10 -f lavfi -i anoisesrc=d=2:r=32000:s=5 "
        "-c:v mjpeg -c:a libmp3lame -b:a 320k",
        "avi");
    const std::string mono8 =
        test::MakeMedia("mono8-22k", "-f lavfi -i sine=f=440:d=1:r=22050 -ac 1 -c:a pcm_u8", "wav");

    struct Case {
        const char* name;
        std::vector<std::string> sources;
        const char* codec;
        uint32_t fact;  // ~0u: not checked
    };
    const Case cases[] = {
        {"wav then avi", {Pcm(1, 1), aviPcm}, "pcm_s16le", 44100 * 3},
        {"last audio stream of an avi", {aviTwo, Pcm(1, 1)}, "pcm_s16le", 44100 * 2},
        {"ima adpcm", {ima1, ima2, ima1}, "adpcm_ima_wav", ~0u},
        {"mp3 cbr and vbr", {mp3a, mp3b}, "mp3", ~0u},
        {"mp3 frames over the block alignment", {mp3big, mp3big}, "mp3", ~0u},
        // Not converted: the mono 8-bit bytes follow under the first format.
        {"different formats", {Pcm(1, 1), mono8}, "pcm_s16le", (176400 + 22050) / 4},
    };
    for (const Case& c : cases) {
        const std::string out = dir + "/kinds.wav";
        const AudioLinkResult r = Run(c.sources, out);
        ASSERT_EQ(r.code, 0) << c.name;
        const std::vector<uint8_t> want = Joined(c.sources);
        const std::vector<uint8_t> written = test::ReadBytes(out);
        const Chunks chunks = ReadChunks(written);
        EXPECT_EQ(chunks.Size("data"), want.size()) << c.name;
        EXPECT_EQ(chunks.riffSize + 8, written.size()) << c.name;
        EXPECT_TRUE(AudioBytes(out) == want) << c.name;
        EXPECT_EQ(test::ProbeStream(out, "a:0", {"codec_name"}).at("codec_name"), c.codec)
            << c.name;
        if (c.fact != ~0u) {
            EXPECT_EQ(FactValue(written), c.fact) << c.name;
        }
    }
}

// An AVI audio stream whose first sample is not 0 (its header's start
// field): read from that sample, all of it, instead of failing at 0.
TEST_F(AudioLinkRun, AudioStreamStartingLateIsCopiedWhole) {
    const std::string avi = test::CopyFile(
        test::MakeMedia("avi-pcm-2s",
                        "-f lavfi -i testsrc=d=2:s=64x48:r=10 -f lavfi -i sine=f=300:d=2:r=44100 "
                        "-ac 2 -c:v mjpeg -c:a pcm_s16le",
                        "avi"),
        dir);
    std::vector<uint8_t> b = test::ReadBytes(avi);
    bool patched = false;
    for (size_t pos = 0; pos + 40 < b.size() && !patched; ++pos) {
        if (std::equal(b.begin() + pos, b.begin() + pos + 4, "strh") &&
            std::equal(b.begin() + pos + 8, b.begin() + pos + 12, "auds")) {
            bytes::PutLE32(b.data() + pos + 8 + 28, 1000);  // dwStart
            patched = true;
        }
    }
    ASSERT_TRUE(patched);
    const std::string late = dir + "/late.avi";
    test::WriteBytes(late, b);
    const std::string out = dir + "/late_link.wav";
    ASSERT_EQ(Run({late, Pcm(1, 1)}, out).code, 0);
    EXPECT_EQ(ReadChunks(test::ReadBytes(out)).Size("data"), 352800u + 176400u);
    EXPECT_TRUE(AudioBytes(out) == Joined({avi, Pcm(1, 1)}));
}

// Third-party files: each one that opens is linked with itself, and the
// output holds its audio twice, as ffmpeg reads it; one that does not open
// gives a reader's code and writes nothing.
TEST_F(AudioLinkRun, ThirdPartySamplesLinkedWithThemselves) {
    std::vector<std::string> files = test::SamplesIn("avi");
    for (const std::string& w : test::SamplesIn("wav")) {
        files.push_back(w);
    }
    ASSERT_FALSE(files.empty());
    int linked = 0;
    for (const std::string& f : files) {
        const std::string out = dir + "/sample_link.wav";
        ::unlink(out.c_str());
        const AudioLinkResult r = Run({f, f}, out);
        if (r.code != 0) {
            EXPECT_TRUE(r.code == err::kFileOpen || r.code == err::kNoAudio ||
                        r.code == err::kStreamFormat)
                << f << " " << r.code;
            struct stat st {};
            EXPECT_NE(::stat(out.c_str(), &st), 0) << f;
            continue;
        }
        ++linked;
        const std::vector<uint8_t> want = Joined({f, f});
        const std::vector<uint8_t> written = test::ReadBytes(out);
        const Chunks chunks = ReadChunks(written);
        EXPECT_EQ(chunks.Size("data"), want.size()) << f;
        EXPECT_EQ(chunks.riffSize + 8, written.size()) << f;
        if (!want.empty()) {
            EXPECT_TRUE(AudioBytes(out) == want) << f;
        }
    }
    EXPECT_GE(linked, 15);
}

// More sources than the 25 readers of old: one reader per entry.
TEST_F(AudioLinkRun, ThirtySourcesAreAllLinked) {
    const std::string one = Pcm(1, 1);
    std::vector<std::string> sources(30, one);
    sources[7] = Pcm(2, 2);
    const std::string out = dir + "/many.wav";
    ASSERT_EQ(Run(sources, out).code, 0);
    EXPECT_EQ(ctx.items.load(), 30);
    EXPECT_EQ(ReadChunks(test::ReadBytes(out)).Size("data"), 31u * 176400u);
    EXPECT_TRUE(AudioBytes(out) == Joined(sources));
}

// Stop during the second of three sources: the first source whole and the
// second's first block, finished as a valid file.
TEST_F(AudioLinkRun, StopDuringSecondOfThree) {
    const std::vector<std::string> sources = {Pcm(1, 1), Pcm(2, 2), Pcm(1, 3)};
    const std::string out = dir + "/stopped.wav";
    int32_t seenItem = -1;
    ctx.pump = [&] {
        if (ctx.item.load() == 1 && seenItem < 0) {
            seenItem = 1;
            ctx.stop = 1;
        }
    };
    const AudioLinkResult r = Run(sources, out);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(ctx.stop.load(), 1);
    EXPECT_EQ(ctx.item.load(), 1);
    const std::vector<uint8_t> written = test::ReadBytes(out);
    const Chunks chunks = ReadChunks(written);
    EXPECT_EQ(chunks.Size("data"), 176400u + 48000u);
    EXPECT_EQ(chunks.riffSize + 8, written.size());
    EXPECT_EQ(FactValue(written), (176400u + 48000u) / 4);
    std::vector<uint8_t> want = Joined({sources[0], sources[1]});
    want.resize(176400 + 48000);
    EXPECT_TRUE(AudioBytes(out) == want);
    EXPECT_TRUE(test::DecodesCleanly(out));
}

// What cannot work is refused with a code before anything is written, and no
// source is ever touched.
TEST_F(AudioLinkRun, FailuresGiveCodes) {
    const std::string a = test::CopyFile(Pcm(1, 1), dir);
    const std::string b = test::CopyFile(Pcm(2, 2), dir);
    const std::vector<uint8_t> beforeA = test::ReadBytes(a);
    const std::vector<uint8_t> beforeB = test::ReadBytes(b);
    ASSERT_EQ(::symlink(b.c_str(), (dir + "/link.wav").c_str()), 0);
    ::mkdir((dir + "/sub").c_str(), 0755);
    test::WriteBytes(dir + "/junk.wav", std::vector<uint8_t>(100, 'x'));
    const std::string videoOnly =
        test::MakeMedia("video-only", "-f lavfi -i testsrc=d=1:s=64x48:r=10 -c:v mjpeg", "avi");
    const std::string bName = b.substr(b.rfind('/') + 1);

    struct Case {
        const char* name;
        std::vector<std::string> sources;
        std::string out;
        int32_t code;
        int32_t failed;
    };
    const Case cases[] = {
        {"empty list", {}, dir + "/kept.wav", err::kNoFrame, -1},
        {"missing third entry", {a, b, dir + "/missing.wav"}, dir + "/kept.wav", err::kFileOpen, 2},
        {"not a media file", {a, dir + "/junk.wav"}, dir + "/kept.wav", err::kFileOpen, 1},
        {"no audio", {videoOnly, a}, dir + "/kept.wav", err::kNoAudio, 0},
        {"output is a source", {a, b}, b, err::kOutputCannotBeMade, -1},
        {"output is a source through a link",
         {a, b},
         dir + "/link.wav",
         err::kOutputCannotBeMade,
         -1},
        {"output is a source spelled otherwise",
         {a, b},
         dir + "/./sub/../" + bName,
         err::kOutputCannotBeMade,
         -1},
        {"output folder missing", {a, b}, dir + "/no/such/o.wav", err::kFileDoesNotOpen, -1},
    };
    for (const Case& c : cases) {
        test::WriteBytes(dir + "/kept.wav", {4, 5, 6});
        const AudioLinkResult r = Run(c.sources, c.out);
        EXPECT_EQ(r.code, c.code) << c.name;
        EXPECT_EQ(r.failedSource, c.failed) << c.name;
        EXPECT_FALSE(r.started) << c.name;
        EXPECT_EQ(began, 0) << c.name;
        // An existing output is left alone when the run cannot begin.
        EXPECT_EQ(test::ReadBytes(dir + "/kept.wav"), (std::vector<uint8_t>{4, 5, 6})) << c.name;
    }
    EXPECT_EQ(test::ReadBytes(a), beforeA);
    EXPECT_EQ(test::ReadBytes(b), beforeB);
    struct stat st {};
    EXPECT_NE(::stat((dir + "/no/such/o.wav").c_str(), &st), 0);
}

// The WAV file's 32-bit size limit, and a full disk: the write that fails
// ends the run with 502; what was written stays a valid file.
TEST_F(AudioLinkRun, RefusedWriteGives502) {
    const std::vector<std::string> sources = {Pcm(1, 1), Pcm(2, 2)};
    riffLimit = 200000;
    const std::string out = dir + "/limit.wav";
    test::WriteBytes(out, {'o', 'l', 'd'});
    AudioLinkResult r = Run(sources, out);
    EXPECT_EQ(r.code, err::kOutput);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(ctx.stop.load(), 1);  // no 100 % for a failed run
    // The failed run's file went beside the output and is gone; the file
    // that was there before stays.
    EXPECT_EQ(test::ReadBytes(out), std::vector<uint8_t>({'o', 'l', 'd'}));

    riffLimit = 0;
    ctx.opener = [](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
        auto inner = DiskFileOpener()(path, mode);
        if (!inner) {
            return nullptr;
        }
        return std::make_unique<FaultyFile>(std::move(inner), 300000);
    };
    r = Run(sources, dir + "/full.wav");
    EXPECT_EQ(r.code, err::kOutput);
    EXPECT_EQ(ctx.stop.load(), 1);
}

TEST_F(AudioLinkRun, ReadOnlyOutputIsReplaced) {
    const std::string out = dir + "/old.wav";
    test::WriteBytes(out, {1, 2, 3});
    ASSERT_EQ(::chmod(out.c_str(), 0444), 0);
    ASSERT_EQ(Run({Pcm(1, 1)}, out).code, 0);
    EXPECT_EQ(ReadChunks(test::ReadBytes(out)).Size("data"), 176400u);
}

}  // namespace
}  // namespace trelvan
