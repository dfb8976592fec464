// trelvan-cli on movie files: mov-link's default name, messages and exit
// status, and info's JSON for movies.
#include <gtest/gtest.h>

#include <filesystem>

#include "Fixtures.h"
#include "MovFixtures.h"
#include "Process.h"

namespace trelvan {
namespace {

using test::BuiltProgram;
using test::RunCommand;

TEST(MovCli, LinkWritesTheDefaultOutput) {
    const std::string dir = test::ScratchDir();
    const std::string src = test::CopyFile(mov::test::Make(mov::test::kMjpegRaw), dir);
    const auto r = RunCommand({BuiltProgram("trelvan-cli"), "mov-link", src, src, "--quiet"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(src.substr(0, src.size() - 4) + "_link.mov"));
}

// The command line speaks the user's language, with the file and the code.
TEST(MovCli, LinkFailureSaysWhatFailedWithTheCode) {
    const std::string dir = test::ScratchDir();
    const std::string src = mov::test::Make(mov::test::kMjpegRaw);
    const std::string out = dir + "/o.mov";
    const std::string bad = test::SamplePath("wav/taglib_alaw.wav");
    for (const auto& [lang, text] :
         {std::pair{"en", ": the file does not open as a movie (error -"},
          std::pair{"ja", ": ファイルOPENエラー（エラー -"}}) {
        const auto r = RunCommand(
            {BuiltProgram("trelvan-cli"), "mov-link", src, bad, "-o", out, "--lang", lang});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find("trelvan-cli: " + bad + text), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    // An output that is a source: the save fails, the source untouched.
    const auto same = RunCommand({BuiltProgram("trelvan-cli"), "mov-link", src, "-o", src});
    EXPECT_EQ(same.exit_code, 1);
    EXPECT_NE(same.err.find("cantCreateSingleForkFile"), std::string::npos) << same.err;
    EXPECT_TRUE(std::filesystem::exists(src));
}

TEST(MovCli, InfoDescribesAMovie) {
    const std::string src = mov::test::Make(mov::test::kH264Aac);
    const auto r = RunCommand({BuiltProgram("trelvan-cli"), "info", src});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    for (const char* part :
         {"\"container\": \"mov\"", "\"brand\": \"qt  \"", "\"timescale\": 1000",
          "\"fragmented\": false", "\"kind\": \"video\"", "\"codec\": \"avc1\"",
          "\"samples\": 25", "\"kind\": \"audio\"", "\"codec\": \"mp4a\"",
          "\"edits\": [[1000, 1024, 1.0]]"}) {
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    }
    const auto frag = RunCommand({BuiltProgram("trelvan-cli"), "info", "--human",
                                  mov::test::Make(mov::test::kFragmented)});
    EXPECT_NE(frag.out.find("Fragmented: yes"), std::string::npos) << frag.out;
}

// A movie cut short in its media data is read around, and said so on
// standard error by every command that reads it.
TEST(MovCli, DamageIsSaidOnStandardError) {
    const std::string cut = test::SamplePath("mov/mutagen_truncated-64bit.mp4");
    const std::string out = test::ScratchDir() + "/o.mov";
    const std::vector<std::vector<std::string>> commands = {
        {"info", cut}, {"check", cut, cut}, {"mov-link", cut, cut, "-o", out, "--quiet"}};
    for (const auto& words : commands) {
        std::vector<std::string> argv = {BuiltProgram("trelvan-cli")};
        argv.insert(argv.end(), words.begin(), words.end());
        const auto r = RunCommand(argv);
        SCOPED_TRACE(words.front());
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.err.find(cut + ": track"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("beyond the end of the file"), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace trelvan
