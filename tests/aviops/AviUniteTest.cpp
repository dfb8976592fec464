#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "AviUnite.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "Probe.h"
#include "SaveRunTestUtil.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;

TEST(AviUniteNames, OutputNameIsTheFieldOrTheDefault) {
    EXPECT_EQ(UniteOutputName("/m/movie.avi", ""), "/m/movie_comb.avi");
    EXPECT_EQ(UniteOutputName("/m/movie.avi", "/o/clip.mpg"), "/o/clip.mpg");
    EXPECT_EQ(UniteOutputName("/m/movie", ""), "/m/movie_comb.avi");
}

// The video source: two seconds of picture at 25 frames a second, with a
// PCM track of its own (which the unite leaves out).
std::string VideoSource(const test::VideoCodec& v) {
    return test::MakeMedia(std::string("unite-video-") + v.name,
                           std::string(test::kPicture) + " " + test::ToneInput(2) + " " + v.args +
                               " -c:a pcm_s16le -f avi",
                           "avi");
}

// An audio source of `seconds` seconds, as a WAV file or an AVI file with a
// video stream of its own.
std::string AudioSource(const test::AudioCodec& a, int seconds, const std::string& ext) {
    // In the AVI file the audio stream comes first, the video after it.
    const std::string args = ext == "avi"
                                 ? std::string(test::kPicture) + " " + test::ToneInput(seconds) +
                                       " -c:v mjpeg " + a.args + " -map 1:a -map 0:v -f avi"
                                 : test::ToneInput(seconds) + " " + a.args + " -f wav";
    return test::MakeMedia(std::string("unite-audio-") + a.name + "-" + std::to_string(seconds),
                           args, ext);
}

class AviUniteRun : public ::testing::Test {
  protected:
    AviSaveRunResult Run(const std::string& video, const std::string& audio,
                         const std::string& out) {
        AviUniteJob job{video, audio, out};
        began = 0;
        return RunAviUnite(job, ctx, [this] { ++began; });
    }
    // The output holds the video source's video and the audio source's last
    // audio stream, each whole: every video sample's bytes and key flag, the
    // audio bytes (and for variable-size audio every sample), the counts
    // and the stream headers.
    void ExpectUnited(const std::string& video, const std::string& audio,
                      const std::string& audioSel, const std::string& what) {
        const std::string out = dir + "/u.avi";
        const AviSaveRunResult r = Run(video, audio, out);
        ASSERT_EQ(r.code, 0) << what;
        EXPECT_EQ(began, 1);
        EXPECT_EQ(ctx.stop.load(), 0);
        EXPECT_EQ(test::ProbeStreamCount(out, 'v'), 1) << what;
        EXPECT_EQ(test::ProbeStreamCount(out, 'a'), 1) << what;
        test::ExpectSamePackets(test::SourcePackets(video, "v:0"), test::ProbePackets(out, "v:0"),
                                what + " video");
        EXPECT_EQ(test::VideoHeader(video, "v:0"), test::VideoHeader(out, "v:0")) << what;
        const auto want = test::SourcePackets(audio, audioSel);
        const auto got = test::ProbePackets(out, "a:0");
        ASSERT_FALSE(want.empty()) << what;
        const bool avi = fs::path(audio).extension() == ".avi";
        // Every byte of a WAV source's data comes across, also a last block
        // that the data chunk holds only in part (the ffmpeg tool gives MP3
        // and AC-3 in WAV a block of a frame's samples, 1152 or 3840, which
        // the data seldom fills).
        const std::vector<uint8_t> wantBytes = test::Concat(want);
        const std::vector<uint8_t> gotBytes = test::Concat(got);
        EXPECT_EQ(wantBytes, gotBytes) << what;
        if (avi && (what.find("mp3vbr") != std::string::npos ||
                    what.find("mp3cbr") != std::string::npos)) {
            // One MPEG frame per sample in the source: the same in the output.
            test::ExpectSamePackets(want, got, what + " audio");
        }
        EXPECT_EQ(test::AudioHeader(audio, audioSel), test::AudioHeader(out, "a:0")) << what;
        std::string errors;
        EXPECT_TRUE(test::DecodesCleanly(out, &errors)) << what << errors;
        EXPECT_TRUE(test::HiddenFilesIn(dir).empty()) << what;
    }
    std::string dir = test::ScratchDir();
    OpContext ctx;
    int began = 0;
};

TEST_F(AviUniteRun, EveryVideoKind) {
    const std::string audio = AudioSource(test::AudioCodecs()[1], 2, "wav");
    for (const test::VideoCodec& v : test::VideoCodecs()) {
        ExpectUnited(VideoSource(v), audio, "a:0", v.name);
    }
}

// Every audio kind from a WAV file.
TEST_F(AviUniteRun, EveryAudioKindFromWav) {
    const std::string video = VideoSource(test::VideoCodecs()[0]);
    for (const test::AudioCodec& a : test::AudioCodecs()) {
        ExpectUnited(video, AudioSource(a, 2, "wav"), "a:0", std::string(a.name) + ".wav");
    }
}

// The audio of AVI files (there the first stream, a video stream after it):
// the kinds whose samples an AVI file stores differently from a WAV file.
TEST_F(AviUniteRun, AudioKindsFromAvi) {
    const std::string video = VideoSource(test::VideoCodecs()[0]);
    for (const test::AudioCodec& a : test::AudioCodecs()) {
        const std::string name = a.name;
        if (name == "pcm24" || name == "mp3cbr" || name == "mp3vbr" || name == "ac3" ||
            name == "ms-adpcm") {
            ExpectUnited(video, AudioSource(a, 2, "avi"), "a:0", name + ".avi");
        }
    }
}

// Longer or shorter audio is written whole: nothing cut or padded.
TEST_F(AviUniteRun, LengthsAreNotMatched) {
    const std::string video = VideoSource(test::VideoCodecs()[1]);
    ExpectUnited(video, AudioSource(test::AudioCodecs()[1], 5, "wav"), "a:0", "longer audio");
    ExpectUnited(video, AudioSource(test::AudioCodecs()[5], 1, "avi"), "a:0",
                 "shorter audio mp3vbr");
}

// Of an audio source with two audio streams the last one is used.
TEST_F(AviUniteRun, TwoAudioStreamsLastOneWins) {
    const std::string audio =
        test::MakeMedia("unite-two-audio",
                        test::ToneInput(2) +
                            " -f lavfi -i sine=d=2:f=880:r=22050 -map 0:a -map 1:a"
                            " -c:a:0 pcm_s16le -c:a:1 adpcm_ms -f avi",
                        "avi");
    ExpectUnited(VideoSource(test::VideoCodecs()[2]), audio, "a:1", "two audio streams");
}

// An output named like a WAV file still gets an AVI file.
TEST_F(AviUniteRun, OutputNameIsKeptAndTheFileIsAvi) {
    const std::string video = VideoSource(test::VideoCodecs()[0]);
    const std::string audio = AudioSource(test::AudioCodecs()[1], 2, "wav");
    for (const char* name : {"/clip.mpg", "/clip.WAV"}) {
        const std::string out = dir + name;
        ASSERT_EQ(Run(video, audio, out).code, 0) << name;
        const std::vector<uint8_t> head = test::ReadBytes(out);
        ASSERT_GE(head.size(), 12u);
        EXPECT_EQ(std::string(head.begin() + 8, head.begin() + 12), "AVI ") << name;
        EXPECT_EQ(test::ProbeStreamCount(out, 'v'), 1) << name;
        EXPECT_EQ(test::ProbeStreamCount(out, 'a'), 1) << name;
    }
    EXPECT_TRUE(test::HiddenFilesIn(dir).empty());
}

TEST_F(AviUniteRun, StopGives103) {
    const std::string video = VideoSource(test::VideoCodecs()[3]);
    const std::string audio = AudioSource(test::AudioCodecs()[1], 2, "wav");
    int calls = 0;
    ctx.pump = [&] {
        if (++calls == 3) {
            ctx.stop = 1;
        }
    };
    const std::string out = dir + "/stopped.avi";
    const AviSaveRunResult r = Run(video, audio, out);
    EXPECT_EQ(r.code, err::kSaveFailed);
    EXPECT_EQ(ctx.stop.load(), 1);
    const auto got = test::ProbePackets(out, "v:0");
    EXPECT_LT(got.size(), test::SourcePackets(video, "v:0").size());
    EXPECT_TRUE(test::HiddenFilesIn(dir).empty());
}

// An output that is either source is refused before anything is deleted;
// sources that cannot be read give the reader's code and leave an old
// output alone.
TEST_F(AviUniteRun, FailuresGiveCodes) {
    const std::string video = test::CopyFile(VideoSource(test::VideoCodecs()[0]), dir);
    const std::string audio = test::CopyFile(AudioSource(test::AudioCodecs()[1], 2, "wav"), dir);
    const std::string silent = test::MakeMedia(
        "sep-video-only", std::string(test::kPicture) + " -c:v mpeg4 -f avi", "avi");
    const std::vector<uint8_t> videoBytes = test::ReadBytes(video);
    const std::vector<uint8_t> audioBytes = test::ReadBytes(audio);
    ASSERT_EQ(::symlink(audio.c_str(), (dir + "/sound.avi").c_str()), 0);
    const std::string old = dir + "/old.avi";
    struct Case {
        const char* what;
        std::string video, audio, output;
        int32_t code;
    };
    const Case cases[] = {
        {"output is the video source", video, audio, video, err::kOutputCannotBeMade},
        {"output is the audio source", video, audio,
         dir + "/./" + fs::path(audio).filename().string(), err::kOutputCannotBeMade},
        {"output links to the audio source", video, audio, dir + "/sound.avi",
         err::kOutputCannotBeMade},
        {"missing video source", dir + "/none.avi", audio, old, err::kFileOpen},
        {"video source without video", audio, audio, old, err::kNoVideo},
        {"missing audio source", video, dir + "/none.wav", old, err::kFileOpen},
        {"audio source without audio", video, silent, old, err::kNoAudio},
    };
    for (const Case& c : cases) {
        test::WriteBytes(old, {1, 2, 3});
        ctx.stop = 1;
        const AviSaveRunResult r = Run(c.video, c.audio, c.output);
        EXPECT_EQ(r.code, c.code) << c.what;
        EXPECT_FALSE(r.started) << c.what;
        EXPECT_EQ(began, 0) << c.what;
        EXPECT_EQ(test::ReadBytes(old), std::vector<uint8_t>({1, 2, 3})) << c.what;
    }
    EXPECT_EQ(test::ReadBytes(video), videoBytes);
    EXPECT_EQ(test::ReadBytes(audio), audioBytes);
    EXPECT_TRUE(test::HiddenFilesIn(dir).empty());
}

// The shared samples as audio sources under a made video.
TEST_F(AviUniteRun, ThirdPartyAudioSources) {
    const std::string video = VideoSource(test::VideoCodecs()[0]);
    for (const std::string& path : test::SamplesIn("wav")) {
        if (path.find("RIFX") != std::string::npos) {
            continue;  // refused by the reader (big-endian samples)
        }
        SCOPED_TRACE(path);
        const std::string out = dir + "/sample.avi";
        ASSERT_EQ(Run(video, path, out).code, 0);
        test::ExpectSamePackets(test::SourcePackets(video, "v:0"), test::ProbePackets(out, "v:0"),
                                path);
        EXPECT_EQ(test::Concat(test::SourcePackets(path, "a:0")),
                  test::Concat(test::ProbePackets(out, "a:0")));
    }
}

}  // namespace
}  // namespace trelvan
