#pragma once

#include <string>

namespace trelvan {

// `s` as a JSON string, quotes included: quote and backslash escaped,
// control characters as \u00XX, everything else (UTF-8 paths and texts)
// as it is.
std::string JsonText(const std::string& s);

}  // namespace trelvan
