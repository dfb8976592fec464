// trelvan-cli avi-link, run as a program.
#include <gtest/gtest.h>

#include "Fixtures.h"
#include "Probe.h"
#include "Process.h"

namespace trelvan {
namespace {

std::string Source(int i) {
    const std::string d = i == 0 ? "1" : "2";
    return test::MakeMedia("cli-link-" + std::to_string(i),
                           "-f lavfi -i testsrc=d=" + d +
                               ":s=64x48:r=10 -f lavfi -i sine=f=400:d=" + d +
                               ":r=8000 -c:v mjpeg -c:a pcm_s16le -f avi",
                           "avi");
}

TEST(CliAviLink, DefaultNameCodesAndUsage) {
    const std::string dir = test::ScratchDir();
    const std::string a = test::CopyFile(Source(0), dir);
    const std::string b = test::CopyFile(Source(1), dir);
    const std::string cli = test::BuiltProgram("trelvan-cli");

    // Default name: the first source's stem + "_link.avi".
    auto r = test::RunCommand({cli, "avi-link", a, b, "--quiet"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string out = a.substr(0, a.size() - 4) + "_link.avi";
    EXPECT_EQ(test::ProbePackets(out, "v:0").size(), 30u);
    EXPECT_EQ(test::ProbeStreamCount(out, 'a'), 1);

    r = test::RunCommand({cli, "avi-link", a, b, dir + "/missing.avi", "-o", dir + "/m.avi"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("missing.avi: the file does not open (error 1002)"), std::string::npos) << r.err;

    const std::vector<uint8_t> before = test::ReadBytes(b);
    r = test::RunCommand({cli, "avi-link", a, b, "-o", b});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("(error 6006)"), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadBytes(b), before);

    r = test::RunCommand({cli, "avi-link", "-o", dir + "/x.avi"});
    EXPECT_EQ(r.exit_code, 2);
}

}  // namespace
}  // namespace trelvan
