#include "RunFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "AviFile.h"
#include "ErrorCodes.h"
#include "MediaFile.h"

namespace trelvan::verify {
namespace {

// One-line texts of the codes this program raises. Other codes read as the
// error box's text on one line.
constexpr ErrorLineText kLines[] = {
    {err::kNoFrame, ErrorRole::Either, "there is nothing to join", "連結するファイルがありません"},
    {err::kUnsupportedFormat, ErrorRole::Source, "its format cannot be copied",
     "対応していないファイル形式です"},
    {err::kFileDoesNotOpen, ErrorRole::Output, "the output file cannot be created",
     "出力ファイルを作成できません"},
    {err::kSaveFailed, ErrorRole::Output, "saving failed (or the output path is bad)",
     "保存に失敗しました(出力先が正しくないかもしれません)"},
    {err::kMemory, ErrorRole::Either, "not enough memory", "メモリが不足しています"},
    {err::kOutput, ErrorRole::Output, "the output cannot be written further",
     "出力を書き込めません"},
    {err::kFileOpen, ErrorRole::Source, "the file does not open", "ファイルが開きません"},
    {err::kFileInfo, ErrorRole::Source, "the file's information cannot be read",
     "ファイルの情報を読めません"},
    {err::kStreamGet, ErrorRole::Source, "a stream cannot be found", "ストリームを取得できません"},
    {err::kStreamInfo, ErrorRole::Source, "a stream's information cannot be read",
     "ストリームの情報を読めません"},
    {err::kNoVideo, ErrorRole::Source, "there is no video stream", "ビデオがありません"},
    {err::kStreamRead, ErrorRole::Source, "a stream cannot be read", "ストリームを読めません"},
    {err::kStreamFormat, ErrorRole::Source, "the stream format cannot be read",
     "ストリームのフォーマットを読めません"},
    {err::kNoAudio, ErrorRole::Source, "there is no audio stream", "音声ストリームがありません"},
    {err::kSaveCreate, ErrorRole::Output, "the file cannot be created", "ファイルを作成できません"},
    {err::kCodecSelect, ErrorRole::Output, "no codec could be chosen", "コーデックを選べません"},
    {err::kVideoStreamMake, ErrorRole::Output, "the video stream cannot be created",
     "映像ストリームを作成できません"},
    {err::kFormatSet, ErrorRole::Output, "the stream format cannot be set",
     "フォーマットを設定できません"},
    {err::kStreamWrite, ErrorRole::Output, "a stream cannot be written",
     "ストリームを書き込めません"},
    {err::kOutputCannotBeMade, ErrorRole::Output, "the output file cannot be made",
     "出力ファイルを作成できません"},
    {err::kWmvOpen, ErrorRole::Source, "the file does not open as WMV/ASF", "WMVとして開けません"},
    {err::kWmvCodecRead, ErrorRole::Source, "its codec information cannot be read",
     "コーデック情報を読めません"},
    {err::kWmvProcess, ErrorRole::Either, "reading or writing the samples failed",
     "サンプルの読み書きに失敗しました"},
    {err::kWmvInfoGet, ErrorRole::Source, "the stream asked for is not there",
     "指定の種類のストリームがありません"},
    {err::kWmvInfoSet, ErrorRole::Output, "the output cannot be prepared", "出力を準備できません"},
    {err::kWmvEncInit, ErrorRole::Output, "the writer cannot begin", "書き込みを始められません"},
    {err::kWmvOutputMake, ErrorRole::Output, "the output file cannot be made",
     "出力ファイルを作成できません"},
};

// Whether a source opens with the reader whose code `code` is: the ASF
// layer's for the WMV codes, the AVI file layer's (AVI and WAV) otherwise.
bool Opens(const std::string& path, int32_t code) {
    MediaFile file(path);
    if (code == err::kWmvOpen || code == err::kWmvCodecRead) {
        std::string error;
        return file.Kind() == Container::Asf &&
               (file.Walk(MediaKind::Video, &error) != nullptr || error.empty());
    }
    int32_t error = 0;
    return (file.Kind() == Container::Avi || file.Kind() == Container::Wave) &&
           file.Avi(&error) != nullptr;
}

// The Japanese wording of the reasons a user meets with files (the C
// library's own Japanese messages); others stay in the system's words.
struct ReasonText {
    int error;
    const char* japanese;
};
constexpr ReasonText kJapaneseReasons[] = {
    {ENOENT, "そのようなファイルやディレクトリはありません"},
    {EACCES, "許可がありません"},
    {EPERM, "許可されていない操作です"},
    {EROFS, "読み込み専用ファイルシステムです"},
    {ENOSPC, "デバイスに空き領域がありません"},
    {EDQUOT, "ディスク使用量制限を超過しました"},
    {EISDIR, "ディレクトリです"},
    {ENOTDIR, "ディレクトリではありません"},
    {ENAMETOOLONG, "ファイル名が長すぎます"},
    {EIO, "入力/出力エラーです"},
};

}  // namespace

const ErrorLineText* FindErrorLineText(int32_t code) {
    for (const ErrorLineText& l : kLines) {
        if (l.code == code) {
            return &l;
        }
    }
    return nullptr;
}

std::string FileOfError(int32_t code, const RunFiles& files) {
    const ErrorLineText* l = FindErrorLineText(code);
    const ErrorRole role = l ? l->role : ErrorRole::Either;
    if (role == ErrorRole::Output) {
        return files.output;
    }
    if (files.failedSource >= 0 && static_cast<size_t>(files.failedSource) < files.sources.size()) {
        return files.sources[static_cast<size_t>(files.failedSource)];
    }
    if (role != ErrorRole::Source) {
        return {};
    }
    if (files.sources.size() == 1) {
        return files.sources.front();
    }
    // The first source without the stream, or that does not open.
    for (const std::string& s : files.sources) {
        if (code == err::kNoVideo || code == err::kNoAudio) {
            const auto kind = code == err::kNoVideo ? MediaKind::Video : MediaKind::Audio;
            if (!MediaFile(s).Has(kind)) {
                return s;
            }
        } else if (!Opens(s, code)) {
            return s;
        }
    }
    return {};
}

int32_t UniteFailedSource(const std::string& video, const std::string& audio) {
    if (!MediaFile(video).Has(MediaKind::Video)) {
        return 0;
    }
    return MediaFile(audio).Has(MediaKind::Audio) ? -1 : 1;
}

int SystemReason(const std::string& path, bool output) {
    if (path.empty()) {
        return ENOENT;
    }
    struct stat st {};
    if (!output) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0) {
            return errno;
        }
        const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
        ::close(fd);
        return folder ? EISDIR : 0;
    }
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return EISDIR;
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    if (::stat(folder.c_str(), &st) != 0) {
        return errno;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ENOTDIR;
    }
    return ::access(folder.c_str(), W_OK) == 0 ? 0 : errno;
}

std::string SystemReasonText(int error, bool japanese) {
    if (japanese) {
        for (const ReasonText& r : kJapaneseReasons) {
            if (r.error == error) {
                return r.japanese;
            }
        }
    }
    return std::strerror(error);
}

std::string ErrorPlaceText(int32_t code, const RunFiles& files, bool link, bool japanese) {
    const std::string file = FileOfError(code, files);
    if (file.empty()) {
        return {};
    }
    const bool output = file == files.output;
    std::string text;
    size_t entry = 0;
    for (size_t i = 0; link && !output && i < files.sources.size(); ++i) {
        if (files.sources[i] == file) {
            entry = i + 1;
            break;
        }
    }
    if (entry != 0) {
        const std::string n = std::to_string(entry), of = std::to_string(files.sources.size());
        text = japanese ? of + "件中" + n + "件目: " : "Entry " + n + " of " + of + ": ";
    } else {
        text = japanese ? "ファイル: " : "File: ";
    }
    text += file;
    if (const int reason = SystemReason(file, output); reason != 0) {
        text += "\n" + SystemReasonText(reason, japanese);
    }
    return text;
}

}  // namespace trelvan::verify
