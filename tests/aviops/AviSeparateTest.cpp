#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "AviSeparate.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "Probe.h"
#include "SaveRunTestUtil.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;

TEST(AviSeparateNames, OutputNameFollowsTheCommand) {
    struct Case {
        const char* source;
        const char* output;
        SeparateKind kind;
        const char* expected;
    };
    const Case cases[] = {
        {"/m/movie.avi", "", SeparateKind::Video, "/m/movie_cut.avi"},
        {"/m/movie.avi", "", SeparateKind::Audio, "/m/movie_cut.wav"},
        {"/m/movie.avi", "/o/clip.mpg", SeparateKind::Video, "/o/clip.avi"},
        {"/m/movie.avi", "/o/clip.mpg", SeparateKind::Audio, "/o/clip.wav"},
        {"/m/movie.avi", "/o/clip", SeparateKind::Video, "/o/clip.avi"},
        {"/m/a.b.avi", "", SeparateKind::Video, "/m/a.b_cut.avi"},
        // Audio Cut with the source's own path (case ignored) takes the
        // default name; Video Cut keeps it (the operation refuses it).
        {"/m/Song.WAV", "/m/song.wav", SeparateKind::Audio, "/m/Song_cut.wav"},
        {"/m/Song.wav", "/m/Song.mpg", SeparateKind::Audio, "/m/Song_cut.wav"},
        {"/m/movie.avi", "/m/movie.avi", SeparateKind::Video, "/m/movie.avi"},
        {"/m/x.d/movie", "", SeparateKind::Video, "/m/x.d/movie_cut.avi"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SeparateOutputName(c.source, c.output, c.kind), c.expected)
            << c.source << " " << c.output;
    }
}

// A source with the video of `video` and the audio of `audio`.
std::string Source(const test::VideoCodec& video, const test::AudioCodec& audio) {
    return test::MakeMedia(std::string("sep-") + video.name + "-" + audio.name,
                           std::string(test::kPicture) + " " + test::ToneInput(2) + " " +
                               video.args + " " + audio.args + " -f avi",
                           "avi");
}

class AviSeparateRun : public ::testing::Test {
  protected:
    AviSaveRunResult Run(const std::string& src, const std::string& out, SeparateKind kind) {
        AviSeparateJob job;
        job.source = src;
        job.output = out;
        job.kind = kind;
        began = 0;
        percents.clear();
        ctx.pump = [this] { percents.push_back(ctx.percent.load()); };
        return RunAviSeparate(job, ctx, [this] { ++began; });
    }
    // Video Cut: the output holds the source's video alone, every sample
    // with its bytes and key flag, under the same stream header.
    void ExpectVideoCut(const std::string& src, const std::string& what) {
        const std::string out = dir + "/v.avi";
        const AviSaveRunResult r = Run(src, out, SeparateKind::Video);
        ASSERT_EQ(r.code, 0) << what;
        EXPECT_TRUE(r.started);
        EXPECT_EQ(began, 1);
        EXPECT_EQ(ctx.stop.load(), 0) << what;  // done: the page shows 100 %
        EXPECT_EQ(test::ProbeStreamCount(out, 'a'), 0) << what;
        EXPECT_EQ(test::ProbeStreamCount(out, 'v'), 1) << what;
        test::ExpectSamePackets(test::SourcePackets(src, "v:0"), test::ProbePackets(out, "v:0"),
                                what + " video");
        EXPECT_EQ(test::VideoHeader(src, "v:0"), test::VideoHeader(out, "v:0")) << what;
        // The percent rises from 0 and stays below 100 while the save runs.
        ASSERT_FALSE(percents.empty());
        EXPECT_EQ(percents.front(), 0);
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end())) << what;
        EXPECT_LE(percents.back(), 99);
        EXPECT_TRUE(test::HiddenFilesIn(dir).empty()) << what;
    }
    // Audio Cut: a WAV file with the bytes of the source's last audio stream
    // (`sel` in ffprobe's numbering) in its own format.
    void ExpectAudioCut(const std::string& src, const std::string& sel, const std::string& what) {
        const std::string out = dir + "/a.wav";
        const AviSaveRunResult r = Run(src, out, SeparateKind::Audio);
        ASSERT_EQ(r.code, 0) << what;
        const std::vector<uint8_t> head = test::ReadBytes(out);
        ASSERT_GE(head.size(), 12u);
        EXPECT_EQ(bytes::GetLE32(head.data()), bytes::FourCC("RIFF"));
        EXPECT_EQ(bytes::GetLE32(head.data() + 4) + 8, head.size()) << what;
        EXPECT_EQ(bytes::GetLE32(head.data() + 8), bytes::FourCC("WAVE"));
        EXPECT_EQ(test::ProbeStreamCount(out, 'v'), 0);
        const std::vector<uint8_t> want = test::Concat(test::SourcePackets(src, sel));
        ASSERT_FALSE(want.empty()) << what;
        EXPECT_EQ(want, test::Concat(test::ProbePackets(out, "a:0"))) << what;
        EXPECT_EQ(test::AudioHeader(src, sel), test::AudioHeader(out, "a:0")) << what;
        std::string errors;
        EXPECT_TRUE(test::DecodesCleanly(out, &errors)) << what << errors;
        EXPECT_TRUE(test::HiddenFilesIn(dir).empty()) << what;
    }
    std::string dir = test::ScratchDir();
    OpContext ctx;
    int began = 0;
    std::vector<int32_t> percents;
};

// Every video kind: Video Cut copies the video; Audio Cut the audio.
TEST_F(AviSeparateRun, EveryVideoKind) {
    const test::AudioCodec pcm = test::AudioCodecs()[1];
    for (const test::VideoCodec& v : test::VideoCodecs()) {
        const std::string src = Source(v, pcm);
        ExpectVideoCut(src, v.name);
        ExpectAudioCut(src, "a:0", v.name);
    }
}

// Every audio kind, through Audio Cut, and the video beside it unchanged.
TEST_F(AviSeparateRun, EveryAudioKind) {
    const test::VideoCodec mpeg4 = test::VideoCodecs()[0];
    for (const test::AudioCodec& a : test::AudioCodecs()) {
        const std::string src = Source(mpeg4, a);
        ExpectAudioCut(src, "a:0", a.name);
        if (std::string(a.name) == "mp3vbr" || std::string(a.name) == "ima-adpcm") {
            ExpectVideoCut(src, a.name);  // beside audio chunks of other sizes
        }
    }
}

// Of two audio streams the last one is written.
TEST_F(AviSeparateRun, TwoAudioStreamsLastOneWins) {
    const std::string src = test::MakeMedia(
        "sep-two-audio",
        std::string(test::kPicture) + " " + test::ToneInput(2) +
            " -f lavfi -i sine=d=2:f=880:r=22050 -map 0:v -map 1:a -map 2:a -c:v mpeg4"
            " -c:a:0 pcm_s16le -c:a:1 libmp3lame -b:a:1 64k -f avi",
        "avi");
    ExpectAudioCut(src, "a:1", "two audio streams");
    ExpectVideoCut(src, "two audio streams");
}

// A WAV source through Audio Cut: the same audio in a new file.
TEST_F(AviSeparateRun, WavSource) {
    const std::string src =
        test::MakeMedia("sep-wav-source", test::ToneInput(1) + " -c:a adpcm_ms -ar 22050", "wav");
    ExpectAudioCut(src, "a:0", "wav source");
}

// A source of a single frame: the save's percent has nothing to divide
// into, and the run still ends done.
TEST_F(AviSeparateRun, SingleFrameSource) {
    const std::string src = test::MakeMedia(
        "sep-one-frame", "-f lavfi -i testsrc=d=0.04:s=160x120:r=25 -c:v mjpeg -frames:v 1 -f avi",
        "avi");
    ASSERT_EQ(test::SourcePackets(src, "v:0").size(), 1u);
    ExpectVideoCut(src, "one frame");
}

// Stop during the save: 103, the stop flag set, and the output holds the
// samples saved until then, a valid file.
TEST_F(AviSeparateRun, StopGives103AndKeepsWhatWasSaved) {
    const std::string src = Source(test::VideoCodecs()[3], test::AudioCodecs()[1]);
    const std::string out = dir + "/stopped.avi";
    AviSeparateJob job{src, out, SeparateKind::Video};
    int calls = 0;
    ctx.pump = [&] {
        if (++calls == 5) {
            ctx.stop = 1;
        }
    };
    const AviSaveRunResult r = RunAviSeparate(job, ctx);
    EXPECT_EQ(r.code, err::kSaveFailed);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(ctx.stop.load(), 1);
    EXPECT_LT(ctx.percent.load(), 99);
    const auto want = test::SourcePackets(src, "v:0");
    const auto got = test::ProbePackets(out, "v:0");
    EXPECT_GT(got.size(), 0u);
    ASSERT_LT(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].data, want[i].data) << i;
    }
    EXPECT_TRUE(test::HiddenFilesIn(dir).empty());
}

// An output that is the source, however spelled, is refused with 6006
// before anything is deleted or written; the source stays as it was.
TEST_F(AviSeparateRun, OutputNamingTheSourceIsRefused) {
    const std::string src =
        test::CopyFile(Source(test::VideoCodecs()[0], test::AudioCodecs()[1]), dir);
    const std::string wav = test::CopyFile(
        test::MakeMedia("sep-wav-source", test::ToneInput(1) + " -c:a adpcm_ms -ar 22050", "wav"),
        dir);
    const std::vector<uint8_t> srcBytes = test::ReadBytes(src);
    const std::vector<uint8_t> wavBytes = test::ReadBytes(wav);
    fs::create_directory(dir + "/sub");
    ASSERT_EQ(::symlink(src.c_str(), (dir + "/link.avi").c_str()), 0);
    ASSERT_EQ(::link(src.c_str(), (dir + "/hard.avi").c_str()), 0);
    ASSERT_EQ(::symlink(wav.c_str(), (dir + "/link.wav").c_str()), 0);
    const std::string name = fs::path(src).filename().string();
    const std::string relative =
        fs::relative(fs::path(src), fs::current_path()).string();  // from the working folder
    struct Case {
        const char* what;
        std::string source, output;
        SeparateKind kind;
    };
    const Case cases[] = {
        {"itself", src, src, SeparateKind::Video},
        {"dot in the path", src, dir + "/./" + name, SeparateKind::Video},
        {"through a subfolder", src, dir + "/sub/../" + name, SeparateKind::Video},
        {"relative", src, relative, SeparateKind::Video},
        {"symbolic link", src, dir + "/link.avi", SeparateKind::Video},
        {"hard link", src, dir + "/hard.avi", SeparateKind::Video},
        {"audio, spelled otherwise", wav, dir + "/./" + fs::path(wav).filename().string(),
         SeparateKind::Audio},
        {"audio, symbolic link", wav, dir + "/link.wav", SeparateKind::Audio},
    };
    for (const Case& c : cases) {
        ctx.stop = 1;
        const AviSaveRunResult r = Run(c.source, c.output, c.kind);
        EXPECT_EQ(r.code, err::kOutputCannotBeMade) << c.what;
        EXPECT_FALSE(r.started) << c.what;
        EXPECT_EQ(began, 0) << c.what;
        EXPECT_EQ(ctx.stop.load(), 1) << c.what;
        EXPECT_TRUE(fs::exists(c.output)) << c.what;
    }
    EXPECT_EQ(test::ReadBytes(src), srcBytes);
    EXPECT_EQ(test::ReadBytes(wav), wavBytes);
    EXPECT_TRUE(fs::is_symlink(dir + "/link.avi"));
    EXPECT_TRUE(test::HiddenFilesIn(dir).empty());
}

// What cannot work gives the reader's code or 6006, and leaves no file.
TEST_F(AviSeparateRun, FailuresGiveCodes) {
    const std::string video = Source(test::VideoCodecs()[0], test::AudioCodecs()[1]);
    const std::string silent = test::MakeMedia(
        "sep-video-only", std::string(test::kPicture) + " -c:v mpeg4 -f avi", "avi");
    const std::string soundOnly =
        test::MakeMedia("sep-audio-only", test::ToneInput(1) + " -c:a pcm_s16le -f avi", "avi");
    test::WriteBytes(dir + "/bad.avi", std::vector<uint8_t>(64, 'x'));
    fs::create_directory(dir + "/folder.avi");
    struct Case {
        const char* what;
        std::string source, output;
        SeparateKind kind;
        int32_t code;
        bool started;
    };
    const Case cases[] = {
        {"missing source", dir + "/none.avi", dir + "/o.avi", SeparateKind::Video, err::kFileOpen,
         false},
        {"not an AVI file", dir + "/bad.avi", dir + "/o.avi", SeparateKind::Video, err::kFileOpen,
         false},
        {"no video", soundOnly, dir + "/o.avi", SeparateKind::Video, err::kNoVideo, false},
        {"no audio", silent, dir + "/o.wav", SeparateKind::Audio, err::kNoAudio, false},
        // The temporary file cannot be made in a folder that is not there.
        {"no such folder", video, dir + "/none/o.avi", SeparateKind::Video,
         err::kOutputCannotBeMade, true},
        // A folder has the output's name: the saved file cannot take it.
        {"folder in the way", video, dir + "/folder.avi", SeparateKind::Video,
         err::kOutputCannotBeMade, true},
    };
    for (const Case& c : cases) {
        // An old output stays when the source cannot be read.
        test::WriteBytes(dir + "/o.avi", {1, 2, 3});
        const AviSaveRunResult r = Run(c.source, c.output, c.kind);
        EXPECT_EQ(r.code, c.code) << c.what;
        EXPECT_EQ(r.started, c.started) << c.what;
        if (r.started) {
            EXPECT_EQ(ctx.stop.load(), 1) << c.what;  // no 100 % for a failure
        } else {
            EXPECT_EQ(test::ReadBytes(dir + "/o.avi"), std::vector<uint8_t>({1, 2, 3})) << c.what;
        }
        EXPECT_TRUE(test::HiddenFilesIn(dir).empty()) << c.what;
        EXPECT_TRUE(test::HiddenFilesIn(dir + "/folder.avi").empty()) << c.what;
    }
    EXPECT_TRUE(fs::is_directory(dir + "/folder.avi"));
    EXPECT_FALSE(fs::exists(dir + "/o.wav"));
}

// An existing output, read-only too, is replaced.
TEST_F(AviSeparateRun, ExistingReadOnlyOutputIsReplaced) {
    const std::string src = Source(test::VideoCodecs()[2], test::AudioCodecs()[4]);
    const std::string out = dir + "/v.avi";
    test::WriteBytes(out, {9, 9, 9});
    ::chmod(out.c_str(), 0444);
    ASSERT_EQ(Run(src, out, SeparateKind::Video).code, 0);
    test::ExpectSamePackets(test::SourcePackets(src, "v:0"), test::ProbePackets(out, "v:0"),
                            "replaced");
}

// Files nobody on the team wrote: each command copies what an independent
// reader sees; the broken ones end with a code, never a crash.
TEST_F(AviSeparateRun, ThirdPartySamples) {
    for (const std::string& path : test::SamplesIn("avi")) {
        SCOPED_TRACE(path);
        const bool headersOnly = path.find("exiftool_") != std::string::npos;
        const std::string vout = dir + "/sample_v.avi";
        const AviSaveRunResult v = Run(path, vout, SeparateKind::Video);
        if (!headersOnly && test::ProbeStreamCount(path, 'v') > 0) {
            ASSERT_EQ(v.code, 0);
            test::ExpectSamePackets(test::SourcePackets(path, "v:0"),
                                    test::ProbePackets(vout, "v:0"), path);
        }
        const int audio = test::ProbeStreamCount(path, 'a');
        const AviSaveRunResult a = Run(path, dir + "/sample_a.wav", SeparateKind::Audio);
        if (audio == 0) {
            EXPECT_EQ(a.code, err::kNoAudio);
        } else if (!headersOnly) {
            ASSERT_EQ(a.code, 0);
            const std::string last = "a:" + std::to_string(audio - 1);
            EXPECT_EQ(test::Concat(test::SourcePackets(path, last)),
                      test::Concat(test::ProbePackets(dir + "/sample_a.wav", "a:0")));
        }
    }
    for (const std::string& path : test::SamplesIn("wav")) {
        SCOPED_TRACE(path);
        const std::string out = dir + "/sample.wav";
        const AviSaveRunResult a = Run(path, out, SeparateKind::Audio);
        if (path.find("RIFX") != std::string::npos) {
            EXPECT_EQ(a.code, err::kFileOpen);  // big-endian samples are refused
            continue;
        }
        ASSERT_EQ(a.code, 0);
        EXPECT_EQ(test::Concat(test::SourcePackets(path, "a:0")),
                  test::Concat(test::ProbePackets(out, "a:0")));
    }
}

}  // namespace
}  // namespace trelvan
