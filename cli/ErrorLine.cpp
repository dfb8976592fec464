#include "ErrorLine.h"

#include <cstdio>

#include "ErrorCodes.h"
#include "ErrorText.h"
#include "Language.h"
#include "AviFile.h"
#include "MediaFile.h"

namespace trelvan::cli {
namespace {

// Whether a code is about the output or a source.
enum class Role { Output, Source, Either };

struct LineText {
    int32_t code;
    Role role;
    const char* english;
    const char* japanese;
};

// One-line texts of the codes this program raises. Other codes read as the
// error box's text on one line.
constexpr LineText kLines[] = {
    {err::kNoFrame, Role::Either, "there is nothing to join", "連結するファイルがありません"},
    {err::kUnsupportedFormat, Role::Source, "its format cannot be copied",
     "対応していないファイル形式です"},
    {err::kFileDoesNotOpen, Role::Output, "the output file cannot be created",
     "出力ファイルを作成できません"},
    {err::kSaveFailed, Role::Output, "saving failed (or the output path is bad)",
     "保存に失敗しました(出力先が正しくないかもしれません)"},
    {err::kMemory, Role::Either, "not enough memory", "メモリが不足しています"},
    {err::kOutput, Role::Output, "the output cannot be written further", "出力を書き込めません"},
    {err::kFileOpen, Role::Source, "the file does not open", "ファイルが開きません"},
    {err::kFileInfo, Role::Source, "the file's information cannot be read",
     "ファイルの情報を読めません"},
    {err::kStreamGet, Role::Source, "a stream cannot be found", "ストリームを取得できません"},
    {err::kStreamInfo, Role::Source, "a stream's information cannot be read",
     "ストリームの情報を読めません"},
    {err::kNoVideo, Role::Source, "there is no video stream", "ビデオがありません"},
    {err::kStreamRead, Role::Source, "a stream cannot be read", "ストリームを読めません"},
    {err::kStreamFormat, Role::Source, "the stream format cannot be read",
     "ストリームのフォーマットを読めません"},
    {err::kNoAudio, Role::Source, "there is no audio stream", "音声ストリームがありません"},
    {err::kSaveCreate, Role::Output, "the file cannot be created", "ファイルを作成できません"},
    {err::kCodecSelect, Role::Output, "no codec could be chosen", "コーデックを選べません"},
    {err::kVideoStreamMake, Role::Output, "the video stream cannot be created",
     "映像ストリームを作成できません"},
    {err::kFormatSet, Role::Output, "the stream format cannot be set",
     "フォーマットを設定できません"},
    {err::kStreamWrite, Role::Output, "a stream cannot be written", "ストリームを書き込めません"},
    {err::kOutputCannotBeMade, Role::Output, "the output file cannot be made",
     "出力ファイルを作成できません"},
    {err::kWmvOpen, Role::Source, "the file does not open as WMV/ASF", "WMVとして開けません"},
    {err::kWmvCodecRead, Role::Source, "its codec information cannot be read",
     "コーデック情報を読めません"},
    {err::kWmvProcess, Role::Either, "reading or writing the samples failed",
     "サンプルの読み書きに失敗しました"},
    {err::kWmvInfoGet, Role::Source, "the stream asked for is not there",
     "指定の種類のストリームがありません"},
    {err::kWmvInfoSet, Role::Output, "the output cannot be prepared", "出力を準備できません"},
    {err::kWmvEncInit, Role::Output, "the writer cannot begin", "書き込みを始められません"},
    {err::kWmvOutputMake, Role::Output, "the output file cannot be made",
     "出力ファイルを作成できません"},
};

const LineText* Find(int32_t code) {
    for (const LineText& l : kLines) {
        if (l.code == code) {
            return &l;
        }
    }
    return nullptr;
}

// The error box's text on one line: line breaks and closing blanks go.
std::string OneLine(std::string text) {
    std::string s;
    for (const char c : text) {
        if (c == '\n') {
            while (!s.empty() && s.back() == ' ') {
                s.pop_back();
            }
            s += ' ';
        } else if (c != ' ' || (!s.empty() && s.back() != ' ')) {
            s += c;
        }
    }
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

// Whether a source opens with the reader whose code `code` is: the ASF
// layer's for the WMV codes, the AVI file layer's (AVI and WAV) otherwise.
bool Opens(const std::string& path, int32_t code) {
    verify::MediaFile file(path);
    if (code == err::kWmvOpen || code == err::kWmvCodecRead) {
        std::string error;
        return file.Kind() == verify::Container::Asf &&
               (file.Walk(verify::MediaKind::Video, &error) != nullptr || error.empty());
    }
    int32_t error = 0;
    return (file.Kind() == verify::Container::Avi || file.Kind() == verify::Container::Wave) &&
           file.Avi(&error) != nullptr;
}

}  // namespace

std::string ErrorLine(int32_t code, const std::string& file, const std::string& detail) {
    if (code == 0 || code == -2) {
        return {};
    }
    const bool japanese = IsJapaneseSystem();
    const LineText* l = Find(code);
    std::string text = l ? (japanese ? l->japanese : l->english) : OneLine(GetErrorTextIn(code, japanese));
    if (!detail.empty()) {
        text += (japanese ? "(" : ": ") + detail + (japanese ? ")" : "");
    }
    const std::string where = file.empty() ? std::string() : file + ": ";
    const std::string code_text = japanese ? " (エラー " : " (error ";
    return "trelvan-cli: " + where + text + code_text + std::to_string(code) + ")";
}

std::string FileOfError(int32_t code, const RunFiles& files) {
    const LineText* l = Find(code);
    const Role role = l ? l->role : Role::Either;
    if (role == Role::Output) {
        return files.output;
    }
    if (files.failedSource >= 0 && static_cast<size_t>(files.failedSource) < files.sources.size()) {
        return files.sources[static_cast<size_t>(files.failedSource)];
    }
    if (role != Role::Source) {
        return {};
    }
    if (files.sources.size() == 1) {
        return files.sources.front();
    }
    // The first source without the stream, or that does not open.
    for (const std::string& s : files.sources) {
        if (code == err::kNoVideo || code == err::kNoAudio) {
            const auto kind = code == err::kNoVideo ? verify::MediaKind::Video : verify::MediaKind::Audio;
            if (!verify::MediaFile(s).Has(kind)) {
                return s;
            }
        } else if (!Opens(s, code)) {
            return s;
        }
    }
    return {};
}

int32_t UniteFailedSource(const std::string& video, const std::string& audio) {
    if (!verify::MediaFile(video).Has(verify::MediaKind::Video)) {
        return 0;
    }
    return verify::MediaFile(audio).Has(verify::MediaKind::Audio) ? -1 : 1;
}

void PrintRunError(int32_t code, const RunFiles& files, const std::string& detail) {
    const std::string line = ErrorLine(code, FileOfError(code, files), detail);
    if (!line.empty()) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

}  // namespace trelvan::cli
