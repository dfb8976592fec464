#pragma once

#include <cstdint>

#include "MovResult.h"
#include "MovieModel.h"

// A time range of a movie as a movie of its own, without re-encoding: each
// track keeps the contiguous run of its stored samples that the range needs
// and gets edits that present exactly the range from movie time 0.
//
// Video keeps the samples from the sync sample that every frame shown in the
// range decodes from, in decode order, through the last frame shown before
// the end (reference frames are decoded before the frames that use them, so
// the run holds them all); its edit starts at the first frame at or after
// the start. Every other track starts at that same movie time, so sound and
// video stay together. Sound keeps whole packets from where the video's
// stored run begins (its edit skips to the start: the tracks' stored times
// then run side by side, and the packet before the start, which AAC and its
// kin need to decode the first one right, is there) and runs of frames cut
// to the frames (whole packets of a packed format) from there. Other tracks keep the samples that
// overlap the range. The source's edit lists are followed throughout: the
// range is movie time, the samples are found in media time.
namespace trelvan::mov {

struct MovieRangeInfo {
    bool hasVideo = false;
    // Source movie time units: where the first stored video sample (the sync
    // sample) and the first presented frame are shown, and the end.
    uint64_t firstStored = 0;
    uint64_t firstPresented = 0;
    uint64_t end = 0;
};

// The range [start, end) (units of `rangeScale` per second, 0: the source's
// movie time units; an end past the movie is its end) of `source` into
// `out`, which shares the source files. The first frame is the one shown at
// or after the start, however coarse the movie's units; the end is rounded
// to the nearest of them. `keyframeStart`: presentation starts at the sync
// sample instead. kInvalidDuration when the range is empty or starts at or
// after the movie's end.
MovResult ExtractMovieRange(const Movie& source, uint64_t start, uint64_t end, bool keyframeStart,
                            Movie& out, MovieRangeInfo* info = nullptr, uint32_t rangeScale = 0);

}  // namespace trelvan::mov
