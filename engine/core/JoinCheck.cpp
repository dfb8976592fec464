#include "JoinCheck.h"

#include <cstdio>

#include "Language.h"

namespace trelvan {
namespace {

std::string JsonText(const std::string& s) {
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string FileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Describe(const JoinReport& r, const JoinDifference& d) {
    const std::string source =
        d.entry >= 0 && static_cast<size_t>(d.entry) < r.sources.size()
            ? FileName(r.sources[static_cast<size_t>(d.entry)])
            : std::to_string(d.entry + 1);
    return SelectLanguageText(
        "entry " + std::to_string(d.entry + 1) + " (" + source + "), " + d.stream + ", " + d.field +
            ": " + d.value + " where the first has " + d.first,
        std::to_string(d.entry + 1) + "番目 (" + source + ") の" + d.stream + "の" + d.field +
            "が " + d.value + " です(最初のファイルは " + d.first + ")");
}

}  // namespace

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
