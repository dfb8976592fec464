#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "IoFile.h"
#include "MovResult.h"
#include "MovieModel.h"

// Flattening: writes a movie as one self-contained file. Layout: 'ftyp',
// 'wide', 'mdat' with every track's samples in chunks interleaved by time,
// then 'moov' with every table rebuilt from the sample lists and a single
// self-reference as data reference. Sample bytes are copied unchanged (large
// runs inside the kernel).
namespace trelvan::mov {

struct FlattenLimits {
    // A chunk closes after this much media time or this many bytes.
    uint32_t chunkMillis = 500;
    uint32_t chunkBytes = 4u << 20;
    // Chunk offsets above this make a track's offset table 64-bit, and
    // media data longer than this takes the 64-bit 'mdat' header (tests
    // lower both to cross them with small files).
    uint64_t wideOffsets = UINT32_MAX;
    uint64_t wideMediaData = UINT32_MAX;
    // Runs of at least this many contiguous bytes are copied file to file.
    uint32_t directCopyBytes = 64u << 10;
    // Called after every chunk copied with the media bytes written so far
    // and their total; false stops the flattening (kProgressProcAborted).
    std::function<bool(uint64_t done, uint64_t total)> progress;
};

// The major brand of a file saved under `name`, by its extension: 'isom'
// (.mp4), 'M4A ' (.m4a), 'M4V ' (.m4v), 'M4B ' (.m4b), '3gp4' (.3gp), '3g2a'
// (.3g2); 0 (QuickTime's 'qt  ') for .mov and any other name.
uint32_t BrandForName(std::string_view name);

// Whether a sample whose stored presentation time is `shown` (decode time
// plus composition offset, in its track's `mediaScale`) lies at or past the
// movie's end (`movieEnd`, in `movieScale`). A demuxer reading the file as a
// stream ends a track at its first such sample, so the writer stores them,
// and every later sample of their track, after everything else.
bool ShownPastMovieEnd(int64_t shown, uint32_t mediaScale, uint64_t movieEnd, uint32_t movieScale);

// Writes `movie` into `out` (empty, positioned writes from offset 0), branded
// with the movie's save brand, or where that is 0 as a file of `name`
// (BrandForName). The caller closes `out`.
MovResult FlattenMovie(const Movie& movie, IoFile& out, const FlattenLimits& limits = {},
                       std::string_view name = {});

}  // namespace trelvan::mov
