#include <gtest/gtest.h>

#include "CliArgs.h"

namespace {

using namespace trelvan::cli;

TEST(CliArgsTest, OptionsMayStandBeforeOrAfterFiles) {
    OptionSpec known{{"--video"}, {"-o", "--start"}};
    auto a = ParseArgs({"--video", "in.avi", "-o", "out.avi", "--start=0:0:1.5", "--quiet"}, known);
    EXPECT_TRUE(a.Has("--video"));
    EXPECT_TRUE(a.Has("--quiet"));
    EXPECT_EQ(a.Value("-o"), "out.avi");
    EXPECT_EQ(a.Value("--start"), "0:0:1.5");
    ASSERT_EQ(a.Positional().size(), 1u);
    EXPECT_EQ(a.Positional()[0], "in.avi");

    a = ParseArgs({"a.avi", "--", "-odd-name.avi", "--lang", "ja"}, known);
    ASSERT_EQ(a.Positional().size(), 4u);
    EXPECT_EQ(a.Positional()[1], "-odd-name.avi");
    EXPECT_FALSE(a.Value("--lang"));
}

TEST(CliArgsTest, BadOptionsAreUsageErrors) {
    OptionSpec known{{"--video"}, {"-o"}};
    EXPECT_THROW(ParseArgs({"--bogus"}, known), UsageError);
    EXPECT_THROW(ParseArgs({"-o"}, known), UsageError);
    EXPECT_THROW(ParseArgs({"-o", "a", "-o", "b"}, known), UsageError);
    EXPECT_THROW(ParseArgs({"--video=1"}, known), UsageError);
    EXPECT_THROW(ParseArgs({"--lang", "fr"}, known), UsageError);
    EXPECT_NO_THROW(ParseArgs({"--lang", "ja"}, known));
    // Negative numbers are values, not options.
    EXPECT_EQ(ParseArgs({"-42"}, known).Positional().at(0), "-42");
}

TEST(CliArgsTest, TimesParseInEveryAcceptedForm) {
    const std::pair<const char*, int64_t> good[] = {
        {"0:0:1.600", 1600}, {"1:02:03.004", 3723004}, {"2:30", 150000}, {"90", 90000},
        {"1.5", 1500},       {"0:0:0", 0},             {"10:59:59.999", 39599999},
        {"0:00:01.05", 1050},
    };
    for (const auto& [text, ms] : good) {
        EXPECT_EQ(ParseTimeMs(text), ms) << text;
    }
    for (const char* bad : {"", ":", "1:", ":1", "1:2:3:4", "1.", ".5", "1.2345", "a", "-1",
                            "0:60", "0:60:00", "1 ", "1:2:3.4x", "9999999999"}) {
        EXPECT_THROW(ParseTimeMs(bad), UsageError) << bad;
    }
}

TEST(CliArgsTest, TimesFormatBack) {
    EXPECT_EQ(FormatTimeMs(1600), "0:00:01.600");
    EXPECT_EQ(FormatTimeMs(3723004), "1:02:03.004");
    EXPECT_EQ(FormatTimeMs(-5), "0:00:00.000");
    EXPECT_EQ(ParseTimeMs(FormatTimeMs(39599999)), 39599999);
}

TEST(CliArgsTest, Int32Parsing) {
    EXPECT_EQ(ParseInt32("-2147483648", "CODE"), INT32_MIN);
    EXPECT_EQ(ParseInt32("2147483647", "CODE"), INT32_MAX);
    EXPECT_EQ(ParseInt32("0501", "CODE"), 501);
    for (const char* bad : {"", "2147483648", "-2147483649", "12a", "0x10", " 5", "1e3"}) {
        EXPECT_THROW(ParseInt32(bad, "CODE"), UsageError) << bad;
    }
}

}  // namespace
