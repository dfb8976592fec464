#include "CliArgs.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace trelvan::cli {

std::optional<std::string> ParsedArgs::Value(const std::string& option) const {
    auto it = m_values.find(option);
    if (it == m_values.end()) {
        return std::nullopt;
    }
    return it->second;
}

ParsedArgs ParseArgs(const std::vector<std::string>& words, OptionSpec known) {
    known.flags.insert({"--quiet", "--help", "-h"});
    known.values.insert("--lang");
    ParsedArgs out;
    bool options_done = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        // A negative number is a value, not an option.
        if (options_done || w.size() < 2 || w[0] != '-' || (w[1] >= '0' && w[1] <= '9')) {
            out.AddPositional(w);
            continue;
        }
        if (w == "--") {
            options_done = true;
            continue;
        }
        std::string name = w;
        std::optional<std::string> inline_value;
        if (const auto eq = w.find('='); eq != std::string::npos && w.rfind("--", 0) == 0) {
            name = w.substr(0, eq);
            inline_value = w.substr(eq + 1);
        }
        if (known.flags.count(name) != 0) {
            if (inline_value) {
                throw UsageError("option " + name + " takes no value");
            }
            out.AddFlag(name);
        } else if (known.values.count(name) != 0) {
            std::string value;
            if (inline_value) {
                value = *inline_value;
            } else if (i + 1 < words.size()) {
                value = words[++i];
            } else {
                throw UsageError("option " + name + " needs a value");
            }
            if (out.Value(name)) {
                throw UsageError("option " + name + " given twice");
            }
            out.SetValue(name, value);
        } else {
            throw UsageError("unknown option " + w);
        }
    }
    if (auto lang = out.Value("--lang"); lang && *lang != "en" && *lang != "ja") {
        throw UsageError("--lang takes en or ja, not \"" + *lang + "\"");
    }
    return out;
}

namespace {

// Reads an unsigned decimal field of at most `max_digits` digits.
bool ReadDigits(const std::string& s, size_t& i, int max_digits, int64_t& out) {
    const size_t start = i;
    out = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        if (static_cast<int>(i - start) >= max_digits) {
            return false;
        }
        out = out * 10 + (s[i] - '0');
        ++i;
    }
    return i > start;
}

}  // namespace

int64_t ParseTimeMs(const std::string& text) {
    const UsageError bad("invalid time \"" + text + "\" (expected H:M:S.mmm)");
    int64_t fields[3] = {0, 0, 0};
    int n = 0;
    size_t i = 0;
    while (true) {
        if (n == 3) {
            throw bad;
        }
        if (!ReadDigits(text, i, 9, fields[n])) {
            throw bad;
        }
        ++n;
        if (i < text.size() && text[i] == ':') {
            ++i;
            continue;
        }
        break;
    }
    int64_t ms = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        const size_t start = i;
        int64_t frac = 0;
        if (!ReadDigits(text, i, 3, frac)) {
            throw bad;
        }
        for (size_t k = i - start; k < 3; ++k) {
            frac *= 10;
        }
        ms = frac;
    }
    if (i != text.size()) {
        throw bad;
    }
    int64_t h = 0, m = 0, s = 0;
    if (n == 3) {
        h = fields[0];
        m = fields[1];
        s = fields[2];
    } else if (n == 2) {
        m = fields[0];
        s = fields[1];
    } else {
        s = fields[0];
    }
    if (n > 1 && s >= 60) {
        throw bad;
    }
    if (n == 3 && m >= 60) {
        throw bad;
    }
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

std::string FormatTimeMs(int64_t ms) {
    if (ms < 0) {
        ms = 0;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%" PRId64 ":%02d:%02d.%03d", ms / 3600000,
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                  static_cast<int>(ms % 1000));
    return buf;
}

int32_t ParseInt32(const std::string& text, const std::string& what) {
    if (text.empty()) {
        throw UsageError(what + " must be a number");
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (end == nullptr || *end != '\0' || text.find_first_of(" \t") != std::string::npos) {
        throw UsageError(what + " must be a whole number, not \"" + text + "\"");
    }
    if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) {
        throw UsageError(what + " \"" + text + "\" is out of range (a 32-bit signed number)");
    }
    return static_cast<int32_t>(v);
}

}  // namespace trelvan::cli
