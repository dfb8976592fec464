#pragma once

#include <string>

// trelvan-cli info for movie files (QuickTime and ISO base media).
namespace trelvan::cli {

// Whether the file starts with an atom that only movie files start with.
bool LooksLikeMovie(const std::string& path);

// Prints the movie's layout as one JSON object (or as text); returns the
// exit status.
int PrintMovieInfo(const std::string& path, bool human);

}  // namespace trelvan::cli
