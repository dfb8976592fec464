#include "RegFile.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TextTrim.h"

namespace trelvan {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads a quoted string starting at s[i] == '"'; i ends after the closing
// quote. False when it is not closed.
bool ReadQuoted(const std::string& s, size_t& i, std::string* out) {
    out->clear();
    for (++i; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            out->push_back(s[++i]);
        } else if (s[i] == '"') {
            ++i;
            return true;
        } else {
            out->push_back(s[i]);
        }
    }
    return false;
}

std::string Quote(const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            q.push_back('\\');
        }
        q.push_back(c);
    }
    return q + "\"";
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* out) {
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ',' || text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        if (i == text.size()) {
            break;
        }
        if (i + 1 >= text.size() || HexDigit(text[i]) < 0 || HexDigit(text[i + 1]) < 0) {
            return false;
        }
        out->push_back(static_cast<uint8_t>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1])));
        i += 2;
        if (i < text.size() && text[i] != ',' && text[i] != ' ') {
            return false;
        }
    }
    return true;
}

void ParseValue(const std::string& rest, RegFile::Value& v) {
    v.type = RegFile::Type::Other;
    v.text = rest;
    if (rest.rfind("dword:", 0) == 0) {
        const std::string digits = TrimBlanks(rest.substr(6));
        if (digits.size() == 8 &&
            digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
            v.type = RegFile::Type::Dword;
            v.dword = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
        }
    } else if (rest.rfind("hex:", 0) == 0) {
        if (ParseHexBytes(rest.substr(4), &v.data)) {
            v.type = RegFile::Type::Binary;
        }
    } else if (!rest.empty() && rest[0] == '"') {
        size_t i = 0;
        std::string s;
        if (ReadQuoted(rest, i, &s) && TrimBlanks(rest.substr(i)).empty()) {
            v.type = RegFile::Type::String;
            v.data.assign(s.begin(), s.end());
        }
    }
}

std::string HexLines(const std::vector<uint8_t>& data) {
    std::string out = "hex:";
    char b[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(b, sizeof b, "%02x", data[i]);
        out += b;
        if (i + 1 < data.size()) {
            out += ',';
            if (i % 24 == 23) {
                out += "\\\n  ";
            }
        }
    }
    return out;
}

}  // namespace

RegFile::RegFile(std::string path, std::string key)
    : m_path(std::move(path)), m_key(std::move(key)) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(m_path, ec);
    if (ec || size > kMaxFileBytes) {
        return;
    }
    std::ifstream in(m_path, std::ios::binary);
    std::string line, logical;
    std::vector<std::string> lines;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // A trailing backslash continues the value on the next line.
        if (!line.empty() && line.back() == '\\') {
            line.pop_back();
            logical += line;
            continue;
        }
        lines.push_back(logical + line);
        logical.clear();
    }
    if (!logical.empty()) {
        lines.push_back(logical);
    }
    for (const std::string& raw : lines) {
        const std::string l = TrimBlanks(raw);
        if (l.empty() || l[0] != '"') {
            continue;  // key line, comment or blank
        }
        size_t i = 0;
        Value v;
        if (!ReadQuoted(l, i, &v.name)) {
            continue;
        }
        const std::string after = TrimBlanks(l.substr(i));
        if (after.empty() || after[0] != '=') {
            continue;
        }
        ParseValue(TrimBlanks(after.substr(1)), v);
        Slot(v.name) = std::move(v);
    }
}

RegFile::Value& RegFile::Slot(const std::string& name) {
    for (Value& v : m_values) {
        if (v.name == name) {
            return v;
        }
    }
    m_values.emplace_back();
    m_values.back().name = name;
    return m_values.back();
}

const RegFile::Value* RegFile::Find(const std::string& name) const {
    for (const Value& v : m_values) {
        if (v.name == name) {
            return &v;
        }
    }
    return nullptr;
}

void RegFile::SetDword(const std::string& name, uint32_t x) {
    Value& v = Slot(name);
    v.type = Type::Dword;
    v.dword = x;
    v.data.clear();
}

void RegFile::SetBinary(const std::string& name, const uint8_t* data, size_t n) {
    Value& v = Slot(name);
    v.type = Type::Binary;
    v.data.assign(data, data + n);
}

bool RegFile::Save() const {
    std::ostringstream out;
    out << "[" << m_key << "]\n";
    for (const Value& v : m_values) {
        out << Quote(v.name) << "=";
        switch (v.type) {
            case Type::Dword: {
                char b[16];
                std::snprintf(b, sizeof b, "dword:%08x", v.dword);
                out << b;
                break;
            }
            case Type::Binary:
                out << HexLines(v.data);
                break;
            case Type::String:
                out << Quote(std::string(v.data.begin(), v.data.end()));
                break;
            case Type::Other:
                out << v.text;
                break;
        }
        out << "\n";
    }
    const std::filesystem::path path(m_path);
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const std::string tmp = m_path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f << out.str();
        f.flush();
        if (!f) {
            std::filesystem::remove(tmp, ec);
            return false;
        }
    }
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::filesystem::remove(tmp, ec);
        return false;
    }
    return true;
}

std::string UserConfigDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.config";
    }
    const passwd* pw = ::getpwuid(::getuid());
    if (pw != nullptr && pw->pw_dir != nullptr && pw->pw_dir[0] == '/') {
        return std::string(pw->pw_dir) + "/.config";
    }
    return {};
}

}  // namespace trelvan
