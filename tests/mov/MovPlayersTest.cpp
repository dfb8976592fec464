// Joins judged as players present them: movies of several writers and kinds
// joined with themselves through the MOV link, then played by GStreamer
// (qtdemux in pull mode) and by ffmpeg: every frame of every entry shown
// once and in order, the sound as long as the entries together, each
// entry's sound in sync with its picture within one sound packet (never
// adding up over the joins), and one edit per track (after at most one
// leading empty edit that the first movie brings).
#include <gtest/gtest.h>

#include "Fixtures.h"
#include "MovFixtures.h"
#include "MovLink.h"
#include "MovProbe.h"
#include "MovieReader.h"

namespace trelvan {
namespace {

struct PlayCase {
    const char* name;
    const mov::test::Recipe* recipe;
    double packet;  // seconds of one sound packet: the sync allowed at a join
    size_t copies = 2;
    bool sweep = true;             // sound that never repeats itself
    const char* sample = nullptr;  // a shared sample instead of the recipe
};

class MovJoinPlays : public ::testing::TestWithParam<PlayCase> {};

TEST_P(MovJoinPlays, EveryFrameInSyncInOneEditPerTrack) {
    const PlayCase& c = GetParam();
    const std::string src =
        c.sample != nullptr ? test::SamplePath(c.sample) : mov::test::Make(*c.recipe);
    const std::vector<std::string> sources(c.copies, src);
    const std::string out = test::ScratchDir() + "/plays.mov";
    OpContext ctx;
    const MovLinkResult r = RunMovLink({sources, out}, ctx);
    ASSERT_EQ(r.code, 0) << r.message;
    mov::Movie joined;
    ASSERT_EQ(mov::ReadMovieFile(out, joined, DiskFileOpener()), mov::kNoErr);
    for (const mov::Track& t : joined.tracks) {
        const bool lead = t.edits.size() == 2 && t.edits.front().mediaTime < 0;
        EXPECT_TRUE(t.edits.size() == 1 || lead) << "track " << t.id << ": " << t.edits.size();
    }
    mov::test::ExpectPlaysThrough(sources, out, c.packet);
    // (Sound of one tone repeats itself: only a sweep is found surely.)
    if (joined.tracks.size() < 2 || !c.sweep) {
        return;
    }
    const std::vector<double> sync = mov::test::JoinSyncErrors(sources, out);
    for (size_t k = 0; k < sync.size(); ++k) {
        EXPECT_LE(std::abs(sync[k]), c.packet + 0.001) << "join " << k + 1;
    }
}

constexpr double kAac = 1024.0 / 44100;
constexpr double kAac22 = 1024.0 / 22050;

INSTANTIATE_TEST_SUITE_P(
    Writers, MovJoinPlays,
    ::testing::Values(
        PlayCase{"FfmpegH264BFramesAac", &mov::test::kH264Aac, kAac},
        PlayCase{"FfmpegMp4", &mov::test::kH264AacMp4, kAac},
        PlayCase{"FfmpegFragmented", &mov::test::kFragmented, kAac},
        PlayCase{"FfmpegHevc", &mov::test::kHevcAac, kAac},
        PlayCase{"FfmpegMjpegPcm", &mov::test::kMjpegRaw, 0.001, 2, false},
        PlayCase{"FfmpegProresPcm24", &mov::test::kProresPcm, 0.001, 2, false},
        PlayCase{"FfmpegMjpegPcm96k", &mov::test::kMjpegPcm96k, 0.001, 2, false},
        PlayCase{"FfmpegVariableRate", &mov::test::kVariableRate, kAac},
        PlayCase{"QtmuxH264Aac", &mov::test::kQtmuxH264Aac, kAac},
        PlayCase{"QtmuxJpegPcm", &mov::test::kMp4muxJpegPcm, 0.001, 2, false},
        PlayCase{"Mp4muxFragmented", &mov::test::kMp4muxFragmented, kAac},
        PlayCase{"LibquicktimeH264Twos", &mov::test::kLqtH264Twos, 0.001, 2, false},
        // Sound ending in part of a packet: re-chunked at
        // packet boundaries only.
        PlayCase{"FfmpegMjpegIma4", &mov::test::kMjpegIma4, 64.0 / 44100, 2, false},
        PlayCase{"LibquicktimeJpegIma4", &mov::test::kLqtJpegIma4, 64.0 / 44100, 2, false},
        // Sound longer and shorter than the picture, as
        // phones write it: 2 and 5 entries.
        PlayCase{"SoundLonger", &mov::test::kPhoneLongSound, kAac},
        PlayCase{"SoundLongerFive", &mov::test::kPhoneLongSound, kAac, 5},
        PlayCase{"SoundShorter", &mov::test::kPhoneShortSound, kAac},
        PlayCase{"SoundShorterFive", &mov::test::kPhoneShortSound, kAac, 5},
        PlayCase{"SoundShorterPcmFive", &mov::test::kPhonePcm, 1.0 / 8000, 5},
        // A leading empty edit in the video and sound trimmed
        // at its end; sound in fragments past its edit.
        PlayCase{"SampleJcodecThree", nullptr, kAac, 3, true, "mov/jcodec_1.mp4"},
        // (ffmpeg plays the 3GP's sound past its edit
        // alone, and leaves out a packet of each: the
        // sound is measured within two packets.)
        PlayCase{"SampleTaglib3g2Two", nullptr, 2 * kAac22, 2, true, "mov/taglib_no-tags.3g2"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trelvan
