#include "IniCreate.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "TextTrim.h"

namespace {

using trelvan::TrimBlanks;

constexpr size_t kValueLimit = 259;  // a 260-character buffer with its terminator

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string CIniCreate::ReadString(const std::string& section, const std::string& key,
                                   const std::string& fallback) const {
    std::ifstream in(m_path, std::ios::binary);
    if (!in) {
        return fallback.substr(0, kValueLimit);
    }
    std::string line;
    bool in_section = false;
    while (std::getline(in, line)) {
        line = TrimBlanks(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line.front() == '[') {
            const auto close = line.find(']');
            in_section = close != std::string::npos &&
                         SameName(TrimBlanks(line.substr(1, close - 1)), section);
            continue;
        }
        if (!in_section) {
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos || !SameName(TrimBlanks(line.substr(0, eq)), key)) {
            continue;
        }
        std::string value = TrimBlanks(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return value.substr(0, kValueLimit);
    }
    return fallback.substr(0, kValueLimit);
}

int CIniCreate::ReadInt(const std::string& section, const std::string& key, int fallback) const {
    const std::string text = ReadString(section, key, "");
    if (text.empty()) {
        return fallback;
    }
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || v < INT_MIN || v > INT_MAX) {
        return fallback;
    }
    return static_cast<int>(v);
}

namespace trelvan {

std::string ProgramDir() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return "./";
    }
    std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

std::string SettingIniPath() {
    return ProgramDir() + "Setting.ini";
}

std::string ReadRegPos(const std::string& ini_path) {
    const std::string value = CIniCreate(ini_path).ReadString("SAVE", "RegPos", "ZORIT");
    return value.empty() ? "ZORIT" : value;
}

}  // namespace trelvan
