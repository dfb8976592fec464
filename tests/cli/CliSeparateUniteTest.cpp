// trelvan-cli avi-separate and avi-unite, run as a program.
#include <gtest/gtest.h>

#include <filesystem>

#include "Fixtures.h"
#include "Probe.h"
#include "Process.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> AllBytes(const std::vector<test::ProbedPacket>& packets) {
    std::vector<uint8_t> out;
    for (const auto& p : packets) {
        out.insert(out.end(), p.data.begin(), p.data.end());
    }
    return out;
}

bool SameVideo(const std::string& a, const std::string& b) {
    const auto pa = test::ProbePackets(a, "v:0");
    const auto pb = test::ProbePackets(b, "v:0");
    if (pa.size() != pb.size() || pa.empty()) {
        return false;
    }
    for (size_t i = 0; i < pa.size(); ++i) {
        if (pa[i].data != pb[i].data || pa[i].key != pb[i].key) {
            return false;
        }
    }
    return true;
}

TEST(CliSeparateUnite, DefaultsNamesAndFailures) {
    const std::string dir = test::ScratchDir();
    const std::string src = test::CopyFile(
        test::MakeMedia("cli-sep-movie",
                        "-f lavfi -i testsrc=d=1:s=160x120:r=25 -f lavfi -i sine=d=1:r=44100 "
                        "-c:v mpeg4 -bf 2 -c:a pcm_s16le -f avi",
                        "avi"),
        dir);
    const std::string stem = src.substr(0, src.size() - 4);
    const std::string cli = test::BuiltProgram("trelvan-cli");

    // Default names beside the source.
    auto r = test::RunCommand({cli, "avi-separate", "--video", src});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(SameVideo(src, stem + "_cut.avi"));
    EXPECT_EQ(test::ProbeStreamCount(stem + "_cut.avi", 'a'), 0);
    r = test::RunCommand({cli, "avi-separate", src, "--audio", "--quiet"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(AllBytes(test::ProbePackets(src, "a:0")),
              AllBytes(test::ProbePackets(stem + "_cut.wav", "a:0")));

    // The extension follows the command, as on the page.
    r = test::RunCommand({cli, "avi-separate", "--audio", src, "-o", dir + "/sound.mpg"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir + "/sound.wav"));

    // Unite the video with the separated audio: the default name, and an
    // output name kept as given.
    r = test::RunCommand({cli, "avi-unite", stem + "_cut.avi", stem + "_cut.wav"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const std::string comb = stem + "_cut_comb.avi";
    EXPECT_TRUE(SameVideo(src, comb));
    EXPECT_EQ(AllBytes(test::ProbePackets(src, "a:0")), AllBytes(test::ProbePackets(comb, "a:0")));
    r = test::RunCommand({cli, "avi-unite", src, dir + "/sound.wav", "-o", dir + "/x.mpg"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(SameVideo(src, dir + "/x.mpg"));

    struct Case {
        std::vector<std::string> args;
        int exit;
        const char* message;
    };
    const std::vector<uint8_t> before = test::ReadBytes(src);
    const Case cases[] = {
        {{"avi-separate", "--video", src, "-o", src}, 1, "(error 6006)"},
        {{"avi-separate", "--video", dir + "/none.avi"}, 1, "none.avi: the file does not open (error 1002)"},
        {{"avi-separate", "--audio", stem + "_cut.avi"}, 1, "_cut.avi: there is no audio stream (error 1201)"},
        {{"avi-unite", src, dir + "/sound.wav", "-o", dir + "/./sound.wav"}, 1, "/./sound.wav: the output file cannot be made (error 6006)"},
        {{"avi-unite", dir + "/sound.wav", src}, 1, "sound.wav: there is no video stream (error 1006)"},
        {{"avi-separate", src}, 2, "one of --video and --audio"},
        {{"avi-separate", "--video", "--audio", src}, 2, "one of --video and --audio"},
        {{"avi-unite", src}, 2, "VIDEO and AUDIO"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {cli};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        r = test::RunCommand(argv);
        EXPECT_EQ(r.exit_code, c.exit) << c.args[0] << " " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::ReadBytes(src), before);
}

}  // namespace
}  // namespace trelvan
