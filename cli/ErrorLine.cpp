#include "ErrorLine.h"

#include <cstdio>

#include "ErrorCodes.h"
#include "ErrorText.h"
#include "Language.h"

namespace trelvan::cli {
namespace {

using verify::ErrorLineText;
using verify::FindErrorLineText;

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

}  // namespace

std::string ErrorLine(int32_t code, const std::string& file, const std::string& detail) {
    if (code == 0 || code == -2) {
        return {};
    }
    const bool japanese = IsJapaneseSystem();
    const ErrorLineText* l = FindErrorLineText(code);
    std::string text = l ? (japanese ? l->japanese : l->english) : OneLine(GetErrorTextIn(code, japanese));
    if (!detail.empty()) {
        text += (japanese ? "(" : ": ") + detail + (japanese ? ")" : "");
    }
    const std::string where = file.empty() ? std::string() : file + ": ";
    const std::string code_text = japanese ? " (エラー " : " (error ";
    return "trelvan-cli: " + where + text + code_text + std::to_string(code) + ")";
}

void PrintRunError(int32_t code, const RunFiles& files, const std::string& detail) {
    const std::string line = ErrorLine(code, FileOfError(code, files), detail);
    if (!line.empty()) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

}  // namespace trelvan::cli
