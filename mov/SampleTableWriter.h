#pragma once

#include <cstdint>
#include <vector>

#include "AtomWriter.h"
#include "MovieModel.h"

// Renders a track's 'stbl' from its sample list and the chunks the samples
// were written in: every table rebuilt, 'co64' when an offset passes the
// 32-bit limit.
namespace trelvan::mov {

// A run of consecutive samples of one track written contiguously.
struct Chunk {
    uint32_t track = 0;
    size_t first = 0;  // index of the first sample in the track's list
    size_t count = 0;
    uint64_t start = 0;   // decode time of the first sample, media time units
    uint64_t offset = 0;  // in the output, once written
    // Its samples are shown at or past the movie's end (written last).
    bool late = false;
};

// `chunks` are the track's own chunks in sample order. Offsets above
// `wideLimit` switch the chunk table to 64 bits.
void WriteSampleTable(AtomWriter& w, const Track& track, const std::vector<const Chunk*>& chunks,
                      uint64_t wideLimit);

}  // namespace trelvan::mov
