// trelvan-cli avi-extract, run as a program.
#include <gtest/gtest.h>

#include "Fixtures.h"
#include "Probe.h"
#include "Process.h"

namespace trelvan {
namespace {

// 25 fps, 250 frames, a key frame every 20 frames.
std::string KeyEvery20() {
    return test::MakeMedia("extract-key20",
                           "-f lavfi -i testsrc=d=10:s=96x72:r=25 -f lavfi -i sine=d=10:r=44100 "
                           "-c:v mpeg4 -g 20 -bf 0 -sc_threshold 0 -c:a pcm_s16le -f avi",
                           "avi");
}

TEST(CliAviExtract, PrintsTheKeyFrameStartAndFails) {
    const std::string dir = test::ScratchDir();
    const std::string src = test::CopyFile(KeyEvery20(), dir);
    const std::string cli = test::BuiltProgram("trelvan-cli");

    // 1 s is frame 25; the copy starts at the key frame 40.
    auto r = test::RunCommand(
        {cli, "avi-extract", src, "--start", "0:0:1", "--end", "0:0:3", "-o", dir + "/r.avi"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "start 0:00:01.600\n");
    EXPECT_EQ(test::ProbePackets(dir + "/r.avi", "v:0").size(), 36u);

    // The whole file, default name beside the source.
    r = test::RunCommand({cli, "avi-extract", src, "--quiet"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "start 0:00:00.000\n");
    const std::string whole = src.substr(0, src.size() - 4) + "_extr.avi";
    EXPECT_EQ(test::ProbePackets(whole, "v:0").size(), 250u);
    size_t audioBytes = 0;
    for (const auto& p : test::ProbePackets(whole, "a:0")) {
        audioBytes += p.data.size();
    }
    EXPECT_EQ(audioBytes, 882000u);  // 10 s of 16-bit mono

    r = test::RunCommand({cli, "avi-extract", dir + "/missing.avi", "-o", dir + "/m.avi"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("missing.avi: the file does not open (error 1002)"), std::string::npos) << r.err;

    const std::vector<uint8_t> before = test::ReadBytes(src);
    r = test::RunCommand({cli, "avi-extract", src, "-o", dir + "/./" + src.substr(dir.size() + 1)});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("(error 6006)"), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadBytes(src), before);

    r = test::RunCommand({cli, "avi-extract", src, "--start", "later"});
    EXPECT_EQ(r.exit_code, 2);
    r = test::RunCommand({cli, "avi-extract"});
    EXPECT_EQ(r.exit_code, 2);
}

}  // namespace
}  // namespace trelvan
