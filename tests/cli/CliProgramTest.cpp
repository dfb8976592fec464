#include <gtest/gtest.h>

#include "Process.h"

namespace {

using trelvan::test::BuiltProgram;
using trelvan::test::RunCommand;

TEST(CliProgramTest, ErrorPrintsCaptionAndTextInEitherLanguage) {
    auto r = RunCommand({BuiltProgram("trelvan-cli"), "error", "103", "--lang", "en"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out,
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

}  // namespace
