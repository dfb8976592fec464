#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "Fixtures.h"
#include "Process.h"

namespace {

using trelvan::test::BuiltProgram;
using trelvan::test::RunCommand;

TEST(CliProgramTest, ErrorPrintsCaptionAndTextInEitherLanguage) {
    auto r = RunCommand({BuiltProgram("trelvan-cli"), "error", "103", "--lang", "en"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(
        r.out,
        "エラーNo.0103\nPreservation error \n or cancellation \n or the output path is bad. \n");

    // Common options may stand before the command, or anywhere after it.
    for (auto argv : {std::vector<std::string>{"--lang", "ja", "error", "-3"},
                      std::vector<std::string>{"error", "-3", "--lang=ja"}}) {
        argv.insert(argv.begin(), BuiltProgram("trelvan-cli"));
        r = RunCommand(argv);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, "エラーNo.-003\n対応していないファイル形式です。\n");
    }

    // The environment variable selects the language when no option does.
    r = RunCommand({BuiltProgram("trelvan-cli"), "error", "1201"}, 30, {"TRELVAN_LANG=ja"});
    EXPECT_EQ(r.out, "エラーNo.1201\n音声ストリームがありません\nそれともDV形式でしょうか?\n");
}

TEST(CliProgramTest, SilentCodesPrintNothing) {
    for (const char* code : {"0", "-2"}) {
        auto r = RunCommand({BuiltProgram("trelvan-cli"), "error", code});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, "");
    }
}

TEST(CliProgramTest, BadCodesAreUsageErrors) {
    for (const char* code : {"abc", "4294967296", "12.5", ""}) {
        auto r = RunCommand({BuiltProgram("trelvan-cli"), "error", code});
        EXPECT_EQ(r.exit_code, 2) << code;
        EXPECT_NE(r.err.find("CODE"), std::string::npos) << r.err;
    }
    auto r = RunCommand({BuiltProgram("trelvan-cli"), "error"});
    EXPECT_EQ(r.exit_code, 2);
    r = RunCommand({BuiltProgram("trelvan-cli"), "error", "1", "2"});
    EXPECT_EQ(r.exit_code, 2);
}

TEST(CliProgramTest, HelpVersionAndUnknownCommands) {
    auto r = RunCommand({BuiltProgram("trelvan-cli"), "--help"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("usage: trelvan-cli"), std::string::npos);
    r = RunCommand({BuiltProgram("trelvan-cli"), "--version"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.rfind("trelvan-cli ", 0), 0u);
    r = RunCommand({BuiltProgram("trelvan-cli"), "frobnicate"});
    EXPECT_EQ(r.exit_code, 2);
    r = RunCommand({BuiltProgram("trelvan-cli")});
    EXPECT_EQ(r.exit_code, 2);
}

// The codec libraries are loaded only by work that needs them: a cut of an
// indexed file never does, key frames of a file without an index are found
// in the bitstream through them, with the same result as the index gives.
TEST(CliProgramTest, CodecLibrariesLoadOnlyWhenNeeded) {
    const std::string src = trelvan::test::MakeMedia(
        "lazy-codecs",
        "-f lavfi -i testsrc=d=2:s=160x120:r=25 -f lavfi -i sine=d=2:r=8000 -c:v mpeg4 -bf 2 "
        "-g 7 -c:a pcm_s16le -f avi",
        "avi");
    const std::string dir = trelvan::test::ScratchDir();
    std::vector<uint8_t> bytes = trelvan::test::ReadBytes(src);
    const std::string idx1 = "idx1";
    const auto at = std::search(bytes.begin(), bytes.end(), idx1.begin(), idx1.end());
    ASSERT_NE(at, bytes.end());
    bytes.erase(at, bytes.end());
    const std::string noIndex = dir + "/no-index.avi";
    trelvan::test::WriteBytes(noIndex, bytes);

    const std::vector<std::string> trace = {"LD_DEBUG=files"};
    auto loadsCodecs = [](const std::string& err) {
        return err.find("file=libavcodec") != std::string::npos;
    };
    auto keyFrames = [](const std::string& out) {
        std::smatch m;
        return std::regex_search(out, m, std::regex("\"keyframes\": ([0-9]+)")) ? m.str(1) : "";
    };
    const std::string cli = BuiltProgram("trelvan-cli");
    auto r = RunCommand({cli, "avi-extract", src, "--start", "0:0:0.5", "-o", dir + "/cut.avi"}, 60,
                        trace);
    EXPECT_EQ(r.exit_code, 0) << r.err.substr(0, 2000);
    EXPECT_FALSE(loadsCodecs(r.err));
    r = RunCommand({cli, "info", src}, 60, trace);
    EXPECT_FALSE(loadsCodecs(r.err));
    const std::string indexed = keyFrames(r.out);
    EXPECT_NE(indexed, "");
    r = RunCommand({cli, "info", noIndex}, 60, trace);
    EXPECT_TRUE(loadsCodecs(r.err));
    EXPECT_EQ(keyFrames(r.out), indexed);
}

// A command that fails leaves a file already at its output as it was, and
// nothing of its own beside it; each is given a source that is not there
// (the second of a link, the audio of a unite).
TEST(CliProgramTest, AFailedCommandKeepsTheOldOutput) {
    const std::string dir = trelvan::test::ScratchDir();
    const std::string avi =
        trelvan::test::MakeMedia("cli-kept-avi",
                                 "-f lavfi -i testsrc=d=1:s=64x48:r=10 -f lavfi -i sine=d=1:r=8000 "
                                 "-c:v mjpeg -c:a pcm_s16le -f avi",
                                 "avi");
    const std::string wmv = trelvan::test::MakeMedia(
        "cli-kept-wmv",
        "-f lavfi -i testsrc=d=1:s=64x48:r=10 -f lavfi -i sine=d=1:r=22050 "
        "-c:v wmv2 -c:a wmav2 -b:a 32k",
        "wmv");
    const std::string mov = trelvan::test::MakeMedia(
        "cli-kept-mov", "-f lavfi -i testsrc=d=1:s=64x48:r=10 -c:v mpeg4", "mov");
    const std::string gone = dir + "/gone";
    const std::vector<std::vector<std::string>> commands = {
        {"avi-separate", "--video", gone + ".avi"}, {"avi-unite", avi, gone + ".wav"},
        {"avi-link", avi, gone + ".avi"},           {"avi-extract", gone + ".avi"},
        {"audio-link", avi, gone + ".wav"},         {"audio-extract", gone + ".wav"},
        {"wmv-separate", "--video", gone + ".wmv"}, {"wmv-unite", wmv, gone + ".wma"},
        {"wmv-link", wmv, gone + ".wmv"},           {"wmv-extract", gone + ".wmv"},
        {"mov-separate", "--video", gone + ".mov"}, {"mov-unite", mov, gone + ".m4a"},
        {"mov-link", mov, gone + ".mov"},           {"mov-extract", gone + ".mov"},
    };
    for (std::vector<std::string> argv : commands) {
        const std::string family = argv[0].substr(0, argv[0].find('-'));
        const std::string out =
            dir + "/old_" + argv[0] + (family == "audio" ? ".wav" : "." + family);
        trelvan::test::WriteBytes(out, {'o', 'l', 'd'});
        argv.insert(argv.begin(), BuiltProgram("trelvan-cli"));
        argv.insert(argv.end(), {"-o", out, "--quiet"});
        const auto r = RunCommand(argv);
        EXPECT_NE(r.exit_code, 0) << argv[1];
        EXPECT_EQ(trelvan::test::ReadBytes(out), std::vector<uint8_t>({'o', 'l', 'd'})) << argv[1];
    }
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        EXPECT_EQ(e.path().filename().string().rfind(".", 0), std::string::npos) << e.path();
        ++files;
    }
    EXPECT_EQ(files, commands.size());
}

}  // namespace
