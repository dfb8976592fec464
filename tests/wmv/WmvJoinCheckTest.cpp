// The WMV link's join check: files configured alike join cleanly; others are
// named by entry, stream and field, one difference per stream.
#include <gtest/gtest.h>

#include <filesystem>

#include "Fixtures.h"
#include "WmvJoinCheck.h"
#include "WmvOperations.h"

namespace trelvan {
namespace {

const std::string kVideo = "-f lavfi -i testsrc=size=160x120:rate=10 ";
const std::string kSine = "-f lavfi -i sine=frequency=440:sample_rate=22050 ";

std::string Made(const char* name, const std::string& args, const char* ext = "wmv") {
    return test::MakeMedia(name, args + " -t 1", ext);
}

std::string First() {
    return Made("join_first", kVideo + kSine + "-c:v wmv2 -c:a wmav2");
}

struct Pair {
    const char* name;
    std::string (*second)();
    const char* stream;  // "" when the pair joins cleanly
    const char* field;
};

class WmvJoinCheck : public ::testing::TestWithParam<Pair> {};

TEST_P(WmvJoinCheck, NamesTheFirstDifference) {
    const Pair& p = GetParam();
    const JoinReport report = CheckWmvJoin({First(), p.second()});
    ASSERT_EQ(report.code, 0);
    if (*p.stream == '\0') {
        EXPECT_TRUE(report.JoinsCleanly()) << report.Text();
        return;
    }
    ASSERT_FALSE(report.differences.empty());
    const JoinDifference& d = report.differences.front();
    EXPECT_EQ(d.entry, 1);
    EXPECT_EQ(d.stream, p.stream) << report.Text();
    EXPECT_EQ(d.field, p.field) << report.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, WmvJoinCheck,
    ::testing::Values(
        // Other pictures and sound: the same configuration.
        Pair{"SameKindOtherContent",
             [] {
                 return Made("join_same",
                             "-f lavfi -i testsrc2=size=160x120:rate=10 -f lavfi -i "
                             "sine=frequency=880:sample_rate=22050 -c:v wmv2 -c:a wmav2",
                             "wmv");
             },
             "", ""},
        Pair{"OtherVideoCodec",
             [] { return Made("join_wmv1", kVideo + kSine + "-c:v wmv1 -c:a wmav2"); },
             "stream 1 (video)", "codec"},
        Pair{"OtherFrameSize",
             [] {
                 return Made("join_size",
                             "-f lavfi -i testsrc=size=320x240:rate=10 " + kSine +
                                 "-c:v wmv2 -c:a wmav2");
             },
             "stream 1 (video)", "frame size"},
        Pair{"OtherSampleRate",
             [] {
                 return Made("join_rate",
                             kVideo + "-f lavfi -i sine=frequency=440:sample_rate=44100 " +
                                 "-c:v wmv2 -c:a wmav2");
             },
             "stream 2 (audio)", "sample rate"},
        Pair{"NoAudio", [] { return Made("join_silent", kVideo + "-c:v wmv2"); },
             "stream 2 (audio)", "stream"},
        // A WMA: its only stream, number 1, is sound where the first has
        // pictures.
        Pair{"AudioOnly", [] { return Made("join_wma", kSine + "-c:a wmav2", "wma"); },
             "stream 1 (video)", "kind"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WmvJoinCheckFile, UnreadableEntryEndsTheCheckWithItsCode) {
    const std::string bad = test::ScratchDir() + "/not.wmv";
    test::WriteBytes(bad, std::vector<uint8_t>(64, 7));
    const JoinReport report = CheckWmvJoin({First(), bad});
    EXPECT_EQ(report.unreadable, 1);
    EXPECT_EQ(report.code, 8201);
    EXPECT_FALSE(report.JoinsCleanly());
}

TEST(WmvJoinCheckRun, CancelLeavesTheOldOutputAndOkJoins) {
    WmvLinkJob job;
    job.sources = {First(), Made("join_wmv1", kVideo + kSine + "-c:v wmv1 -c:a wmav2")};
    job.output = test::ScratchDir() + "/out.wmv";
    job.checkJoin = true;
    test::WriteBytes(job.output, {1, 2, 3});

    OpContext ctx;
    std::string asked;
    ctx.ask = [&](const std::string&, const std::string& text) {
        asked = text;
        return false;
    };
    WmvOpResult r = RunWmvLink(job, ctx);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.started);
    EXPECT_NE(asked.find("codec"), std::string::npos) << asked;
    EXPECT_EQ(std::filesystem::file_size(job.output), 3u);

    // OK joins as without the check: the second file's video samples go to
    // stream 1, configured for the first file's codec.
    ctx.ask = [](const std::string&, const std::string&) { return true; };
    r = RunWmvLink(job, ctx);
    EXPECT_EQ(r.code, 0);
    EXPECT_FALSE(r.cancelled);
    EXPECT_GT(std::filesystem::file_size(job.output), 3u);
}

}  // namespace
}  // namespace trelvan
