#include <gtest/gtest.h>

#include <set>

#include "ErrorText.h"
#include "Language.h"

namespace {

using trelvan::ComposeErrorMessage;
using trelvan::FormatErrorCaption;
using trelvan::GetErrorText;
using trelvan::GetErrorTextIn;
using trelvan::LanguageChoice;
using trelvan::SetLanguageOverride;

class ErrorTextTest : public ::testing::Test {
  protected:
    void TearDown() override { SetLanguageOverride(LanguageChoice::System); }
};

TEST_F(ErrorTextTest, TableIsCompleteSortedAndUnique) {
    // 85 codes with texts plus 0 and -2, which have none.
    ASSERT_EQ(trelvan::ErrorTableSize(), 87u);
    std::set<int32_t> seen;
    const auto* t = trelvan::ErrorTable();
    for (size_t i = 0; i < trelvan::ErrorTableSize(); ++i) {
        EXPECT_TRUE(seen.insert(t[i].code).second) << t[i].code;
        if (i > 0) {
            EXPECT_LT(t[i - 1].code, t[i].code);
        }
        const bool silent = t[i].code == 0 || t[i].code == -2;
        EXPECT_EQ(std::string(t[i].english).empty(), silent) << t[i].code;
        EXPECT_EQ(std::string(t[i].japanese).empty(), silent) << t[i].code;
    }
}

struct TextCase {
    int32_t code;
    const char* english;
    const char* japanese;
};

// Rows chosen for what is easy to get wrong: closing blanks, line breaks,
// misspellings, and codes that share an English text.
const TextCase kTextCases[] = {
    {-42, "Buffer over", "バッファオーバーしました"},
    {-5, "The file doesn't open. ", "ファイルが開きません。"},
    {701, "The file doesn't open. ", "ファイルが開きませんでした。"},
    {6001, "The file doesn't open. ", "ファイルをオープンできません。"},
    {809, "Stream writing failure", "ストリーム書き込み失敗"},
    {3008, "Stream writing failure", "ストリーム書き込み失敗"},
    {812, "PRX reading failure", "PRX読込失敗"},
    {3004, "PRX reading failure", "PRX読込失敗"},
    {103, "Preservation error \n or cancellation \n or the output path is bad. ",
     "保存エラー\nもしくわキャンセル\nもしくわ出力パスが悪いみたい?"},
    {800, "Audio data size decoded from MPEG2 is 0 or less. It seems Decodeding failure.",
     "MPEG2ソースからデコードされた音声データサイズがゼロ以下です。デコードに失敗した模様"},
    {915,
     "The file format is not correspondence. \nPlease put the DirectShow filter etc. \nIs this "
     "file "
     "Audio file?",
     "対応しいてないファイル形式のようです。\nDirectShowフィルター等を入れてみてください。\nもしく"
     "わ音声な"
     "しのファイルですか?"},
    {1006, "There is no Video-Stream \n or Is this file DV-Format?",
     "ビデオがありません\nそれともDV形式でしょうか?"},
    {2001, "Save Error.  I can't make file.", "保存先のファイルを作成できません。"},
    {2005, "It failed because of the format setting. ",
     "フォーマット設定で失敗しました。縦横サイズがサポート外か"},
    {6100, "AVI handler is amusing. ", "AVIハンドラがおかしいです"},
    {8302, "Output file making failure", "出力ファイル作成失敗"},
    {7, "Other Errors", "その他のエラー"},
    {-7, "Other Errors", "その他のエラー"},
    {INT32_MAX, "Other Errors", "その他のエラー"},
    {INT32_MIN, "Other Errors", "その他のエラー"},
    {0, "", ""},
    {-2, "", ""},
};

TEST_F(ErrorTextTest, TextsInBothLanguagesThroughTheLanguageTest) {
    for (const auto& c : kTextCases) {
        SetLanguageOverride(LanguageChoice::English);
        EXPECT_EQ(GetErrorText(c.code), c.english) << c.code;
        SetLanguageOverride(LanguageChoice::Japanese);
        EXPECT_EQ(GetErrorText(c.code), c.japanese) << c.code;
    }
}

TEST_F(ErrorTextTest, SharedEnglishTextsKeepTheirOwnJapanese) {
    EXPECT_NE(GetErrorTextIn(-5, true), GetErrorTextIn(701, true));
    EXPECT_NE(GetErrorTextIn(701, true), GetErrorTextIn(6001, true));
    EXPECT_EQ(GetErrorTextIn(-5, false), GetErrorTextIn(6001, false));
}

TEST_F(ErrorTextTest, CaptionIsSignedFourCharactersZeroPadded) {
    const std::pair<int32_t, const char*> cases[] = {
        {8203, "エラーNo.8203"},   {501, "エラーNo.0501"},    {7, "エラーNo.0007"},
        {-3, "エラーNo.-003"},     {-42, "エラーNo.-042"},    {0, "エラーNo.0000"},
        {12345, "エラーNo.12345"}, {-1234, "エラーNo.-1234"},
    };
    for (const auto& [code, caption] : cases) {
        EXPECT_EQ(FormatErrorCaption(code), caption);
    }
}

TEST_F(ErrorTextTest, ComposedMessageShowsDetailThenText) {
    SetLanguageOverride(LanguageChoice::English);
    auto m = ComposeErrorMessage(1007, "abc");
    EXPECT_TRUE(m.show);
    EXPECT_EQ(m.text, "abc\nStream reading failure");
    EXPECT_EQ(m.caption, "エラーNo.1007");

    m = ComposeErrorMessage(7);
    EXPECT_EQ(m.text, "Other Errors");
    EXPECT_EQ(m.caption, "エラーNo.0007");

    SetLanguageOverride(LanguageChoice::Japanese);
    m = ComposeErrorMessage(6001);
    EXPECT_EQ(m.text, "ファイルをオープンできません。");
    EXPECT_EQ(m.caption, "エラーNo.6001");  // the caption is the same in both languages
}

TEST_F(ErrorTextTest, SilentCodesShowNothingEvenWithDetail) {
    for (int32_t code : {0, -2}) {
        EXPECT_FALSE(ComposeErrorMessage(code).show);
        EXPECT_FALSE(ComposeErrorMessage(code, "detail").show);
    }
}

}  // namespace
