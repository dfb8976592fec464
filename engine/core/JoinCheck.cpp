#include "JoinCheck.h"

#include <utility>

#include "JsonText.h"
#include "Language.h"

namespace trelvan {
namespace {

std::string FileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The Japanese words of the reports' English terms: stream kinds, field
// names and the few values that are words. A term not listed (a number, a
// FourCC, codec bytes) is shown as it is.
std::string InJapanese(const std::string& term) {
    static const std::pair<const char*, const char*> kTerms[] = {
        {"video", "映像"},
        {"audio", "音声"},
        {"other", "その他"},
        {"stream", "ストリーム"},
        {"track", "トラック"},
        {"frame rate", "フレームレート"},
        {"frame size", "フレームサイズ"},
        {"coded frame size", "符号化フレームサイズ"},
        {"bit depth", "色深度"},
        {"compression", "圧縮形式"},
        {"handler", "ハンドラ"},
        {"codec", "コーデック"},
        {"codec data", "コーデック情報"},
        {"codec configuration", "コーデック設定"},
        {"packet layout", "パケット構成"},
        {"format", "フォーマット"},
        {"format tag", "フォーマットタグ"},
        {"channels", "チャンネル数"},
        {"sample rate", "サンプリング周波数"},
        {"bits per sample", "量子化ビット数"},
        {"sample size", "サンプルサイズ"},
        {"block alignment", "ブロック長"},
        {"block align", "ブロック長"},
        {"kind", "種類"},
        {"time scale", "タイムスケール"},
        {"language", "言語"},
        {"matrix", "変換行列"},
        {"alternate group", "代替グループ"},
        {"sound layout", "音声の配置"},
        {"present", "あり"},
        {"missing", "なし"},
        {"none", "なし"},
        {"unspecified", "指定なし"},
    };
    for (const auto& [en, ja] : kTerms) {
        if (term == en) {
            return ja;
        }
    }
    return term;
}

// A stream name such as "video", "video 2" or "stream 2 (audio)" with its
// words in Japanese.
std::string StreamInJapanese(const std::string& stream) {
    std::string out;
    std::string word;
    const auto flush = [&] {
        out += InJapanese(word);
        word.clear();
    };
    for (const char ch : stream) {
        if (ch == ' ' || ch == '(' || ch == ')') {
            flush();
            out += ch == ' ' ? "" : ch == '(' ? "(" : ")";
        } else {
            word += ch;
        }
    }
    flush();
    return out;
}

std::string Describe(const JoinReport& r, const JoinDifference& d) {
    const std::string entry = JoinEntryName(d.entry, r.sources);
    return SelectLanguageText(
        entry + ", " + d.stream + ", " + d.field + ": " + d.value + " where the first has " +
            d.first,
        entry + " の" + StreamInJapanese(d.stream) + "の" + InJapanese(d.field) + "が " +
            InJapanese(d.value) + " です(最初のファイルは " + InJapanese(d.first) + ")");
}

}  // namespace

std::string JoinEntryName(int32_t entry, const std::vector<std::string>& sources) {
    const std::string source = entry >= 0 && static_cast<size_t>(entry) < sources.size()
                                   ? FileName(sources[static_cast<size_t>(entry)])
                                   : std::to_string(entry + 1);
    return SelectLanguageText("entry " + std::to_string(entry + 1) + " (" + source + ")",
                              std::to_string(entry + 1) + "番目 (" + source + ")");
}

void JoinReport::Compare(int32_t entry, const std::string& stream, const std::string& field,
                         const std::string& first, const std::string& value) {
    if (first != value) {
        differences.push_back({entry, stream, field, first, value});
    }
}

std::string JoinReport::Json() const {
    std::string s = "{\"sources\": [";
    for (size_t i = 0; i < sources.size(); ++i) {
        s += (i ? ", " : "") + JsonText(sources[i]);
    }
    s += "], \"joins_cleanly\": ";
    s += JoinsCleanly() ? "true" : "false";
    s += ", \"differences\": [";
    for (size_t i = 0; i < differences.size(); ++i) {
        const JoinDifference& d = differences[i];
        const std::string source = d.entry >= 0 && static_cast<size_t>(d.entry) < sources.size()
                                       ? sources[static_cast<size_t>(d.entry)]
                                       : "";
        s += (i ? ", " : "") + std::string("{\"entry\": ") + std::to_string(d.entry) +
             ", \"source\": " + JsonText(source) + ", \"stream\": " + JsonText(d.stream) +
             ", \"field\": " + JsonText(d.field) + ", \"first\": " + JsonText(d.first) +
             ", \"value\": " + JsonText(d.value) + "}";
    }
    s += "]";
    if (!notes.empty()) {
        s += ", \"notes\": [";
        for (size_t i = 0; i < notes.size(); ++i) {
            s += (i ? ", " : "") + JsonText(notes[i]);
        }
        s += "]";
    }
    if (unreadable >= 0) {
        s += ", \"unreadable\": {\"entry\": " + std::to_string(unreadable) +
             ", \"code\": " + std::to_string(code) + "}";
    }
    return s + "}";
}

std::string JoinReport::Text() const {
    std::string s;
    if (unreadable >= 0) {
        s += SelectLanguageText("entry " + std::to_string(unreadable + 1) +
                                    " cannot be read (error " + std::to_string(code) + ")\n",
                                std::to_string(unreadable + 1) + "番目のファイルを読めません(エラー" +
                                    std::to_string(code) + ")\n");
    }
    for (const JoinDifference& d : differences) {
        s += Describe(*this, d) + "\n";
    }
    if (s.empty()) {
        s = SelectLanguageText("the entries join cleanly\n", "問題なく連結できます\n");
    }
    for (const std::string& note : notes) {
        s += note + "\n";
    }
    return s;
}

std::string JoinReport::Question() const {
    if (differences.empty()) {
        return {};
    }
    const std::string more =
        differences.size() > 1
            ? SelectLanguageText(" (and " + std::to_string(differences.size() - 1) + " more)",
                                 "(ほか" + std::to_string(differences.size() - 1) + "件)")
            : std::string();
    return SelectLanguageText(
        "The files do not match: " + Describe(*this, differences.front()) + more +
            ".\nThe joined file may not play correctly. Join them anyway?",
        "ファイルが一致しません: " + Describe(*this, differences.front()) + more +
            "。\n連結したファイルは正しく再生できないかもしれません。このまま連結しますか?");
}

}  // namespace trelvan
