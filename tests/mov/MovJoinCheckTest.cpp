// The MOV link's join check: movies that paste into one track each with the
// same descriptions join cleanly; others are named by entry, track and
// field, refused by the command line without --force, and asked about by
// the link (Cancel: nothing deleted or written).
#include <gtest/gtest.h>

#include <filesystem>

#include "Fixtures.h"
#include "MovFixtures.h"
#include "MovJoinCheck.h"
#include "Atoms.h"
#include "MovLink.h"
#include "MovieEditor.h"
#include "MovieReader.h"
#include "Process.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;
using mov::test::Make;

struct Pair {
    const char* name;
    const mov::test::Recipe* second;
    // The first difference expected ("" for none): track and field.
    const char* stream;
    const char* field;
};

class MovJoinCheck : public ::testing::TestWithParam<Pair> {};

TEST_P(MovJoinCheck, NamesTheFirstDifference) {
    const Pair& p = GetParam();
    const JoinReport report = CheckMovieJoin({Make(mov::test::kH264Aac), Make(*p.second)});
    EXPECT_EQ(report.code, 0);
    if (*p.stream == '\0') {
        EXPECT_TRUE(report.JoinsCleanly()) << report.Text();
        return;
    }
    ASSERT_FALSE(report.differences.empty());
    const JoinDifference& d = report.differences.front();
    EXPECT_EQ(d.entry, 1);
    EXPECT_EQ(d.stream, p.stream) << report.Text();
    EXPECT_EQ(d.field, p.field) << report.Text();
    EXPECT_NE(d.first, d.value);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, MovJoinCheck,
    ::testing::Values(
        Pair{"SameRecipe", &mov::test::kH264Aac, "", ""},
        // Another H.264 level: the same codec with other parameter sets.
        Pair{"OtherCodecData", &mov::test::kOtherLevel, "video", "codec configuration"},
        // 600 units a second and 48 kHz sound: tracks that cannot share media.
        Pair{"OtherTimeScales", &mov::test::kOtherScales, "video", "time scale"},
        Pair{"OtherFrameSize", &mov::test::kMjpegRaw, "video", "frame size"},
        // MPEG-4 video at the same size and time scale: a description switch.
        Pair{"OtherCodec", &mov::test::kMpeg4Pcm, "video", "codec"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MovJoinCheckRun, CancelLeavesTheOldOutputAndOkJoins) {
    const std::string dir = test::ScratchDir();
    MovLinkJob job;
    job.sources = {Make(mov::test::kH264Aac), Make(mov::test::kOtherLevel)};
    job.output = dir + "/out.mov";
    job.checkJoin = true;
    test::WriteBytes(job.output, {1, 2, 3});

    OpContext ctx;
    std::string asked;
    ctx.ask = [&](const std::string&, const std::string& text) {
        asked = text;
        return false;
    };
    MovLinkResult r = RunMovLink(job, ctx);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.started);
    EXPECT_NE(asked.find("codec configuration"), std::string::npos) << asked;
    EXPECT_EQ(fs::file_size(job.output), 3u);

    ctx.ask = [](const std::string&, const std::string&) { return true; };
    r = RunMovLink(job, ctx);
    EXPECT_EQ(r.code, 0) << r.message;
    EXPECT_FALSE(r.cancelled);
    EXPECT_GT(fs::file_size(job.output), 3u);
}

TEST(MovJoinCheckCli, CheckReportsAndLinkRefusesUnlessForced) {
    const std::string dir = test::ScratchDir();
    const std::string a = test::CopyFile(Make(mov::test::kH264Aac), dir);
    const std::string b = test::CopyFile(Make(mov::test::kMjpegRaw), dir);
    const std::string cli = test::BuiltProgram("trelvan-cli");

    const auto clean = test::RunCommand({cli, "check", a, a});
    EXPECT_EQ(clean.exit_code, 0) << clean.out << clean.err;
    const auto check = test::RunCommand({cli, "check", a, b});
    EXPECT_EQ(check.exit_code, 1);
    EXPECT_NE(check.out.find("\"field\": \"frame size\""), std::string::npos) << check.out;

    const std::string out = dir + "/o.mov";
    const auto refused = test::RunCommand({cli, "mov-link", a, b, "-o", out, "--quiet"});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(out));
    const auto forced =
        test::RunCommand({cli, "mov-link", a, b, "-o", out, "--quiet", "--force"});
    EXPECT_EQ(forced.exit_code, 0) << forced.err;
    EXPECT_TRUE(fs::exists(out));
}

// One encode as .mov (version 1 sound entry inside 'wave') and as .mp4
// (version 0 entry, other channel field) joins cleanly: AAC decoders take
// both from the configuration. `check` tells movies by their first atom,
// whatever their names (.ismv, .avif), as `info` does.
TEST(MovJoinCheckCli, OneEncodeAsMovAndMp4UnderAnyName) {
    const std::string dir = test::ScratchDir();
    const std::string mov = test::CopyFile(Make(mov::test::kH264Aac), dir);
    const std::string mp4 = dir + "/same.mp4";
    ASSERT_EQ(
        test::RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", mov, "-c", "copy", mp4})
            .exit_code,
        0);
    const JoinReport report = CheckMovieJoin({mov, mp4});
    EXPECT_TRUE(report.JoinsCleanly()) << report.Text();
    fs::copy_file(mp4, dir + "/a.ismv");
    fs::copy_file(mov, dir + "/b.avif");
    const auto r = test::RunCommand(
        {test::BuiltProgram("trelvan-cli"), "check", dir + "/a.ismv", dir + "/b.avif"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

}  // namespace
}  // namespace trelvan

namespace trelvan {
namespace {

// Two clips of one encoder with the same settings and other pictures and
// sound (other bit rates, other frame sizes in bytes) join cleanly, into
// one track each with one description, as players need.
struct SameSettings {
    const char* name;
    const char* first;
    const char* second;
    const char* ext;
};

class MovJoinCheckSameEncoder : public ::testing::TestWithParam<SameSettings> {};

TEST_P(MovJoinCheckSameEncoder, JoinsCleanlyIntoSharedDescriptions) {
    const SameSettings& p = GetParam();
    const std::string a = mov::test::Make({"same-a", p.first, p.ext});
    const std::string b = mov::test::Make({"same-b", p.second, p.ext});
    const JoinReport report = CheckMovieJoin({a, b});
    EXPECT_TRUE(report.JoinsCleanly()) << report.Text();
    const std::string out = test::ScratchDir() + "/same.mov";
    OpContext ctx;
    ASSERT_EQ(RunMovLink({{a, b}, out}, ctx).code, 0);
    mov::Movie joined, first;
    ASSERT_EQ(mov::ReadMovieFile(out, joined, DiskFileOpener()), mov::kNoErr);
    ASSERT_EQ(mov::ReadMovieFile(a, first, DiskFileOpener()), mov::kNoErr);
    ASSERT_EQ(joined.tracks.size(), first.tracks.size());
    for (const mov::Track& t : joined.tracks) {
        EXPECT_EQ(t.descriptions.size(), 1u) << "track " << t.id;
    }
}

#define CLIP(src, snd, codecs)                                                         \
    "-f lavfi -i " src "=160x120:rate=25:duration=1 -f lavfi -i sine=frequency=" snd \
    ":sample_rate=44100:duration=1 " codecs
INSTANTIATE_TEST_SUITE_P(
    Pairs, MovJoinCheckSameEncoder,
    ::testing::Values(
        SameSettings{"H264AacMov", CLIP("testsrc=s", "440", "-c:v libx264 -bf 2 -pix_fmt yuv420p -c:a aac -b:a 64k"),
                     CLIP("testsrc2=s", "880", "-c:v libx264 -bf 2 -pix_fmt yuv420p -c:a aac -b:a 64k"), "mov"},
        SameSettings{"H264AacMp4", CLIP("testsrc=s", "440", "-c:v libx264 -bf 2 -pix_fmt yuv420p -c:a aac -b:a 64k"),
                     CLIP("testsrc2=s", "880", "-c:v libx264 -bf 2 -pix_fmt yuv420p -c:a aac -b:a 64k"), "mp4"},
        // Still scenes: every frame of a clip the same size in bytes.
        SameSettings{"StillMjpeg", CLIP("color=c=blue:s", "440", "-c:v mjpeg -c:a pcm_s16le"),
                     CLIP("color=c=red:s", "880", "-c:v mjpeg -c:a pcm_s16le"), "mov"},
        SameSettings{"StillProres",
                     CLIP("color=c=blue:s", "440", "-c:v prores_ks -profile:v 0 -c:a pcm_s16le"),
                     CLIP("color=c=red:s", "880", "-c:v prores_ks -profile:v 0 -c:a pcm_s16le"),
                     "mov"}),
    [](const auto& info) { return std::string(info.param.name); });
#undef CLIP

// Languages that say the same, and sizes in bytes of video frames, do not
// keep tracks apart.
TEST(MovJoinCheckTracks, LanguagesAndFrameSizeTablesThatDoNotMatter) {
    mov::Track a;
    a.handler = mov::atom::kVide;
    a.timescale = 12800;
    a.language = 0x55C4;  // "und"
    a.frameTableSize = 3000;
    mov::Track b = a;
    b.language = 0x7FFF;
    b.frameTableSize = 4000;
    EXPECT_TRUE(mov::PastesInto(a, b));
    b.language = 0x15C7;  // "eng"
    EXPECT_FALSE(mov::PastesInto(a, b));
}

}  // namespace
}  // namespace trelvan
