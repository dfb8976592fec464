#include "Language.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "TextTrim.h"

namespace trelvan {
namespace {

std::atomic<LanguageChoice> g_override{LanguageChoice::System};

std::optional<std::string> ReadWholeFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::optional<std::string> EnvValue(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') {
        return std::nullopt;
    }
    return std::string(v);
}

}  // namespace

void SetLanguageOverride(LanguageChoice choice) {
    g_override.store(choice);
}

LanguageChoice GetLanguageOverride() {
    return g_override.load();
}

namespace detail {

std::optional<std::string> LangFromLocaleFile(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::optional<std::string> found;
    while (std::getline(in, line)) {
        line = TrimBlanks(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line.rfind("export ", 0) == 0) {
            line = TrimBlanks(line.substr(7));
        }
        if (line.rfind("LANG=", 0) != 0) {
            continue;
        }
        std::string value = TrimBlanks(line.substr(5));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        if (!value.empty()) {
            found = value;  // the last assignment wins, as in a shell
        }
    }
    return found;
}

bool IsJapaneseLocaleName(const std::string& name) {
    const auto end = name.find_first_of("_.@");
    const std::string lang = name.substr(0, end);
    return lang == "ja";
}

}  // namespace detail

bool IsJapaneseSystem() {
    switch (g_override.load()) {
        case LanguageChoice::English:
            return false;
        case LanguageChoice::Japanese:
            return true;
        case LanguageChoice::System:
            break;
    }
    if (auto forced = EnvValue(kLanguageEnvVar)) {
        if (*forced == "ja") {
            return true;
        }
        if (*forced == "en") {
            return false;
        }
    }
    for (const char* path : {"/etc/locale.conf", "/etc/default/locale"}) {
        if (auto text = ReadWholeFile(path)) {
            if (auto lang = detail::LangFromLocaleFile(*text)) {
                return detail::IsJapaneseLocaleName(*lang);
            }
        }
    }
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (auto v = EnvValue(var)) {
            return detail::IsJapaneseLocaleName(*v);
        }
    }
    return false;
}

std::string SelectLanguageText(const std::string& english, const std::string& japanese) {
    return IsJapaneseSystem() ? japanese : english;
}

}  // namespace trelvan
