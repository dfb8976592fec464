// Joins judged as players present them: movies of several writers and kinds
// joined with themselves through the MOV link, then played by GStreamer
// (qtdemux in pull mode) and by ffmpeg: every frame of both entries shown
// once and in order, the sound as long as the sources' together, and one
// edit per track where the entries lie end to end in the media (players
// that stop at an edit boundary play on).
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
};

class MovJoinPlays : public ::testing::TestWithParam<PlayCase> {};

TEST_P(MovJoinPlays, EveryFrameAndAllSoundInOneEditPerTrack) {
    const std::string src = mov::test::Make(*GetParam().recipe);
    const std::string out = test::ScratchDir() + "/plays.mov";
    OpContext ctx;
    const MovLinkResult r = RunMovLink({{src, src}, out}, ctx);
    ASSERT_EQ(r.code, 0) << r.message;
    mov::Movie joined;
    ASSERT_EQ(mov::ReadMovieFile(out, joined, DiskFileOpener()), mov::kNoErr);
    for (const mov::Track& t : joined.tracks) {
        EXPECT_EQ(t.edits.size(), 1u) << "track " << t.id;
    }
    mov::test::ExpectPlaysThrough({src, src}, out, GetParam().packet);
}

INSTANTIATE_TEST_SUITE_P(
    Writers, MovJoinPlays,
    ::testing::Values(PlayCase{"FfmpegH264BFramesAac", &mov::test::kH264Aac, 1024.0 / 44100},
                      PlayCase{"FfmpegMp4", &mov::test::kH264AacMp4, 1024.0 / 44100},
                      PlayCase{"FfmpegFragmented", &mov::test::kFragmented, 1024.0 / 44100},
                      PlayCase{"FfmpegHevc", &mov::test::kHevcAac, 1024.0 / 44100},
                      PlayCase{"FfmpegMjpegPcm", &mov::test::kMjpegRaw, 0.001},
                      PlayCase{"FfmpegProresPcm24", &mov::test::kProresPcm, 0.001},
                      PlayCase{"FfmpegMjpegPcm96k", &mov::test::kMjpegPcm96k, 0.001},
                      PlayCase{"QtmuxH264Aac", &mov::test::kQtmuxH264Aac, 1024.0 / 44100},
                      PlayCase{"QtmuxJpegPcm", &mov::test::kMp4muxJpegPcm, 0.001},
                      PlayCase{"LibquicktimeH264Twos", &mov::test::kLqtH264Twos, 0.001},
                      // Sound ending in part of a packet: re-chunked at
                      // packet boundaries only.
                      PlayCase{"FfmpegMjpegIma4", &mov::test::kMjpegIma4, 64.0 / 44100},
                      PlayCase{"LibquicktimeJpegIma4", &mov::test::kLqtJpegIma4, 64.0 / 44100}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trelvan
