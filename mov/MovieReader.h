#pragma once

#include <functional>
#include <memory>
#include <string>

#include "IoFile.h"
#include "MovResult.h"
#include "MovieModel.h"

// Reads a QuickTime or ISO base media file into the movie model: atoms with
// 32-bit, 64-bit and to-the-end sizes, 'moov' before or after the media
// data, fragments appended to their tracks. The file stays open as the
// movie's source 0 (its samples are read from it when the movie is saved).
namespace trelvan::mov {

using WarnHook = std::function<void(const std::string&)>;

// The largest movie or fragment atom read into memory.
inline constexpr uint64_t kMaxHeaderAtom = uint64_t{512} << 20;

// Reads `file` (named `path`) into `movie`. Damage that leaves a sound
// prefix (a file cut short in its media data) keeps the samples before the
// damage and says so through `warn`; samples that all lie beyond the end of
// the file give kEndOfDataReached.
MovResult ReadMovie(std::shared_ptr<IoFile> file, const std::string& path, Movie& movie,
                    const WarnHook& warn = {});

// Opens and reads a movie file.
MovResult ReadMovieFile(const std::string& path, Movie& movie, const FileOpener& opener,
                        const WarnHook& warn = {});

}  // namespace trelvan::mov
