#pragma once

#include <string>

namespace trelvan {

// The text without leading and trailing blanks, tabs and line ends.
inline std::string TrimBlanks(const std::string& s) {
    const char* ws = " \t\r\n";
    const auto b = s.find_first_not_of(ws);
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(ws) - b + 1);
}

}  // namespace trelvan
