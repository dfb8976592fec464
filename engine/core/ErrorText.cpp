#include "ErrorText.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "Language.h"

namespace trelvan {
namespace {

// Texts are kept exactly as the program has always shown them, including the
// closing blanks, the line breaks and the odd wordings.
constexpr ErrorTextEntry kTable[] = {
    {-42, "Buffer over",
     "バッファオーバーしました"},
    {-41, "It doesn't correspond to the ID3 tag. ",
     "ID3タグに対応していません"},
    {-6, "It is an extension that doesn't correspond. ",
     "対応していない拡張子です。"},
    {-5, "The file doesn't open. ",
     "ファイルが開きません。"},
    {-4, "Exception generation. Memory shortage. The file cannot be made at the output destination. etc...",
     "例外発生。メモリ不足。出力先にファイルが作成できない等"},
    {-3, "It is a file format that doesn't correspond. ",
     "対応していないファイル形式です。"},
    {-2, "",
     ""},
    {-1, "The frame was not able to be acquired. ",
     "フレームを取得できませんでした"},
    {0, "",
     ""},
    {103, "Preservation error \n or cancellation \n or the output path is bad. ",
     "保存エラー\nもしくわキャンセル\nもしくわ出力パスが悪いみたい?"},
    {501, "Memory shortage",
     "メモリが不足しています。"},
    {502, "Output error",
     "出力エラー"},
    {601, "The picture file doesn't open. ",
     "画像ファイルが開きません"},
    {602, "Please specify the input image folder. ",
     "入力画像フォルダを指定してください"},
    {603, "There is no image in the input image folder. ",
     "入力画像フォルダに画像がありません"},
    {701, "The file doesn't open. ",
     "ファイルが開きませんでした。"},
    {702, "Information was not able to be acquired from the file. ",
     "ファイルから情報を取得できませんでした"},
    {703, "The color data was not able to be acquired from the file. ",
     "ファイルから色データを取得できませんでした"},
    {800, "Audio data size decoded from MPEG2 is 0 or less. It seems Decodeding failure.",
     "MPEG2ソースからデコードされた音声データサイズがゼロ以下です。デコードに失敗した模様"},
    {802, "It failed in the WMA making initialization. ",
     "WMA作成初期化を失敗しました"},
    {803, "It is a profile that doesn't correspond. ",
     "対応していないプロファイルです"},
    {806, "There is no system index. ",
     "システムインデックスがありません。"},
    {807, "It fails in the last writing processing. ",
     "最後の書き込み処理を失敗"},
    {808, "Output failure",
     "出力失敗"},
    {809, "Stream writing failure",
     "ストリーム書き込み失敗"},
    {810, "VBR initial processing failure",
     "VBR初期処理失敗"},
    {811, "VBR writing stream failure",
     "VBRストリーム書き込み失敗"},
    {812, "PRX reading failure",
     "PRX読込失敗"},
    {813, "Failure of the first passing finality processing",
     "1パス目最終処理の失敗"},
    {814, "It is a profile that should be Encorded by two passing. (Audio)",
     "2パスでエンコしないといけないプロファイルです(音声)"},
    {815, "The size of the buffer of the voice is a minus. ",
     "音声のバッファサイズがマイナスです"},
    {840, "It is not Mpeg Audio file. ",
     "Mpeg Audioファイルではありません"},
    {841, "Decode failure of Mpeg Audio file",
     "Mpeg Audioファイルのデコード失敗"},
    {901, "Voice writing failure",
     "音声書き込み失敗"},
    {911, "ACM opening failure",
     "ACMオープン失敗"},
    {915, "The file format is not correspondence. \nPlease put the DirectShow filter etc. \nIs this file Audio file?",
     "対応しいてないファイル形式のようです。\nDirectShowフィルター等を入れてみてください。\nもしくわ音声なしのファイルですか?"},
    {1002, "File opening failure",
     "ファイルオープン失敗"},
    {1003, "File information acquisition failure",
     "ファイル情報取得失敗"},
    {1004, "Stream acquisition failure",
     "ストリーム取得失敗"},
    {1005, "Stream information acquisition failure",
     "ストリーム情報取得失敗"},
    {1006, "There is no Video-Stream \n or Is this file DV-Format?",
     "ビデオがありません\nそれともDV形式でしょうか?"},
    {1007, "Stream reading failure",
     "ストリーム読込失敗"},
    {1009, "Stream format acquisition failure",
     "ストリームフォーマット取得失敗"},
    {1107, "Audio stream reading failure",
     "音声ストリーム読込失敗"},
    {1201, "There is no Audio-Stream \n or Is this file DV-Format?",
     "音声ストリームがありません\nそれともDV形式でしょうか?"},
    {2001, "Save Error.  I can't make file.",
     "保存先のファイルを作成できません。"},
    {2002, "The error put it by the codec selection. ",
     "コーデック選択でエラーがおきました"},
    {2003, "It failed because of the Video stream making. ",
     "映像ストリーム作成で失敗しました"},
    {2004, "It failed because of the codec setting. ",
     "コーデック設定で失敗しました"},
    {2005, "It failed because of the format setting. ",
     "フォーマット設定で失敗しました。縦横サイズがサポート外か"},
    {2006, "It failed because of the writing stream. ",
     "ストリームを書込で失敗しました"},
    {2105, "Audio stream information acquisition failure.",
     "音声ストリーム情報を取得できません"},
    {2107, "It failed because of the Audio stream reading. ",
     "音声ストリーム読込で失敗しました。正しいVFW仕様で作成されていない模様"},
    {2109, "It was failed at Audio stream setting and reading. ",
     "音声ストリーム設定読込で失敗しました"},
    {2115, "Audio stream writing failure",
     "音声ストリーム書き込み失敗"},
    {2201, "It failed in the compression frame start setting. ",
     "圧縮フレームスタート設定を失敗しました"},
    {2202, "Compression frame making failure",
     "圧縮フレーム作成失敗"},
    {3001, "It was a version that did not correspond.(It was a version not installed.) Please encode by another version",
     "対応していない(インストールされていない)バージョンでした。別のバージョンでエンコードしてください。"},
    {3002, "It failed in the output. ",
     "出力を失敗しました"},
    {3003, "It failed because of the header making. ",
     "ヘッダー作成で失敗しました。縦横サイズがサポート外か"},
    {3004, "PRX reading failure",
     "PRX読込失敗"},
    {3005, "2Pass initialization failure",
     "2Pass初期設定失敗"},
    {3007, "1Pass finality processing failure",
     "1Pass目最終処理失敗"},
    {3008, "Stream writing failure",
     "ストリーム書き込み失敗"},
    {4001, "Plug-in processing failure",
     "プラグイン処理失敗"},
    {4002, "The file information was not able to be acquired. ",
     "ファイル情報を取得できませんでした"},
    {4003, "Stream information was not able to be acquired. ",
     "ストリーム情報を取得できませんでした"},
    {4004, "There is no Video. ",
     "映像がありません"},
    {5003, "The file cannot be loaded. ",
     "ファイルをロードできない"},
    {5004, "It doesn't move. ",
     "動かない"},
    {5006, "It is not possible to connect it. ",
     "コネクトできない"},
    {5007, "It can't Rendering. ",
     "レンダーできない"},
    {5008, "There is a problem of DirectShow. ",
     "DirectShowの問題あり"},
    {6001, "The file doesn't open. ",
     "ファイルをオープンできません。"},
    {6002, "It was not possible to read a file. ",
     "ファイルを読めませんでした"},
    {6004, "It is not WAV. ",
     "WAVでありません"},
    {6005, "It is not PCM of 16 bit two channel.",
     "16ビット2チャンネルのPCMでありません"},
    {6006, "The output file cannot be made. ",
     "出力ファイルを作成できません"},
    {6100, "AVI handler is amusing. ",
     "AVIハンドラがおかしいです"},
    {8001, "The file cannot be opened as WMV. ",
     "WMVとしてファイルをオープンできない"},
    {8201, "WMV cannot be opened. ",
     "WMVをオープンできません"},
    {8202, "Codec reading processing failure",
     "コーデック読み込み処理失敗"},
    {8203, "Processing failure",
     "処理失敗"},
    {8204, "Information acquisition failure",
     "情報取得失敗"},
    {8205, "Information setting failure",
     "情報設定失敗"},
    {8301, "It fails in Enc initial processing. ",
     "エンコ初期処理を失敗"},
    {8302, "Output file making failure",
     "出力ファイル作成失敗"},
};

constexpr const char* kOtherEnglish = "Other Errors";
constexpr const char* kOtherJapanese = "その他のエラー";

}  // namespace

const ErrorTextEntry* ErrorTable() { return kTable; }

std::size_t ErrorTableSize() { return std::size(kTable); }

std::string GetErrorTextIn(int32_t code, bool japanese) {
    const auto* end = std::end(kTable);
    const auto* it = std::lower_bound(std::begin(kTable), end, code,
                                      [](const ErrorTextEntry& e, int32_t c) { return e.code < c; });
    if (it == end || it->code != code) {
        return japanese ? kOtherJapanese : kOtherEnglish;
    }
    return japanese ? it->japanese : it->english;
}

std::string GetErrorText(int32_t code) {
    // Both texts are built first, the choice comes afterwards.
    return SelectLanguageText(GetErrorTextIn(code, false), GetErrorTextIn(code, true));
}

std::string FormatErrorCaption(int32_t code) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d", static_cast<int>(code));
    return std::string("エラーNo.") + buf;
}

ErrorMessage ComposeErrorMessage(int32_t code, const std::string& detail) {
    ErrorMessage msg;
    msg.caption = FormatErrorCaption(code);
    const std::string text = GetErrorText(code);
    if (text.empty()) {
        return msg;
    }
    msg.show = true;
    msg.text = detail.empty() ? text : detail + "\n" + text;
    return msg;
}

}  // namespace trelvan
