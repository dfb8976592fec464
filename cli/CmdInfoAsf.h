#pragma once

#include <string>

namespace trelvan::cli {

// True when the file starts with an ASF Header Object (WMV, WMA, ASF).
bool IsAsfFile(const std::string& path);
// `info` for an ASF file: the container, its streams with their sample
// counts, and its attributes per stream number, as JSON (or as text).
// Returns the exit status.
int PrintAsfInfo(const std::string& path, bool human);

}  // namespace trelvan::cli
