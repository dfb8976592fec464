#include <gtest/gtest.h>
#include <stdlib.h>

#include "Language.h"

namespace {

using namespace trelvan;

TEST(LanguageTest, LocaleFileValueParsing) {
    EXPECT_EQ(detail::LangFromLocaleFile("LANG=ja_JP.UTF-8\n"), "ja_JP.UTF-8");
    EXPECT_EQ(detail::LangFromLocaleFile("# comment\nLANG=\"en_US.UTF-8\"\n"), "en_US.UTF-8");
    EXPECT_EQ(detail::LangFromLocaleFile("export LANG='ja_JP.eucJP'"), "ja_JP.eucJP");
    EXPECT_EQ(detail::LangFromLocaleFile("LANGUAGE=ja\nLC_ALL=ja_JP\n"), std::nullopt);
    EXPECT_EQ(detail::LangFromLocaleFile("LANG=\n"), std::nullopt);
    EXPECT_EQ(detail::LangFromLocaleFile("LANG=en_GB\nLANG=ja_JP\n"), "ja_JP");
}

TEST(LanguageTest, LanguagePartDecides) {
    EXPECT_TRUE(detail::IsJapaneseLocaleName("ja_JP.UTF-8"));
    EXPECT_TRUE(detail::IsJapaneseLocaleName("ja"));
    EXPECT_TRUE(detail::IsJapaneseLocaleName("ja.UTF-8"));
    EXPECT_FALSE(detail::IsJapaneseLocaleName("jav_ID"));
    EXPECT_FALSE(detail::IsJapaneseLocaleName("en_US.UTF-8"));
    EXPECT_FALSE(detail::IsJapaneseLocaleName("C"));
    EXPECT_FALSE(detail::IsJapaneseLocaleName(""));
}

TEST(LanguageTest, OverrideThenEnvironmentVariable) {
    SetLanguageOverride(LanguageChoice::System);
    setenv(kLanguageEnvVar, "ja", 1);
    EXPECT_TRUE(IsJapaneseSystem());
    EXPECT_EQ(SelectLanguageText("en", "ja"), "ja");
    setenv(kLanguageEnvVar, "en", 1);
    EXPECT_FALSE(IsJapaneseSystem());
    // The program's own override stands above the variable, and is read anew each call.
    SetLanguageOverride(LanguageChoice::Japanese);
    EXPECT_TRUE(IsJapaneseSystem());
    SetLanguageOverride(LanguageChoice::English);
    setenv(kLanguageEnvVar, "ja", 1);
    EXPECT_FALSE(IsJapaneseSystem());
    SetLanguageOverride(LanguageChoice::System);
    EXPECT_TRUE(IsJapaneseSystem());
    setenv(kLanguageEnvVar, "en", 1);
}

}  // namespace
