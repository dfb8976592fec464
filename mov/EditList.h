#pragma once

#include <cstdint>
#include <vector>

#include "MovieModel.h"

// Edit list arithmetic in movie time: making the implicit edit of a track
// explicit, splitting at a time, taking, removing and inserting ranges.
namespace trelvan::mov {

// The track's edits, or the one edit its missing list stands for: the whole
// media from time 0 at normal rate.
std::vector<Edit> ExplicitEdits(const Track& track, uint32_t movieScale);

// Total movie time of a list of edits.
uint64_t EditsDuration(const std::vector<Edit>& edits);

// Makes `at` (movie time) a boundary between edits: an edit across it is cut
// in two (the second part's media time moved on by the movie time it skips,
// in media units at the edit's rate); a list that ends before `at` gets an
// empty edit up to it.
void SplitEditsAt(std::vector<Edit>& edits, uint64_t at, uint32_t movieScale,
                  uint32_t mediaScale);

// The edits of [start, start + duration) (a list that ends sooner gives
// less).
std::vector<Edit> TakeEdits(std::vector<Edit> edits, uint64_t start, uint64_t duration,
                            uint32_t movieScale, uint32_t mediaScale);

// Removes [start, start + duration); later edits move up.
void RemoveEdits(std::vector<Edit>& edits, uint64_t start, uint64_t duration,
                 uint32_t movieScale, uint32_t mediaScale);

// Inserts `inserted` at `at`, padding with an empty edit when the list ends
// sooner; later edits move down.
void InsertEdits(std::vector<Edit>& edits, uint64_t at, const std::vector<Edit>& inserted,
                 uint32_t movieScale, uint32_t mediaScale);

// Shortens edits that play media at or past `mediaEnd` (media time units)
// so that they stop before it: a track whose edits were rounded up in
// movie time would otherwise show the first sample appended after its
// media. The movie time given up is rounded down to whole units.
void ClampEditsToMedia(std::vector<Edit>& edits, uint64_t mediaEnd, uint32_t movieScale,
                       uint32_t mediaScale);

// How media appended after a track's media continues the track at a join.
struct JoinPlan {
    // The appended edits' first one continues the track's last one: the two
    // become one edit (players that stop at an edit boundary play on).
    bool merge = false;
    // Leading samples of the appended media to leave out (sound priming
    // that the merged edit would otherwise play) and their duration, media
    // time units.
    size_t skip = 0;
    uint64_t skipped = 0;
};

// Plans the join of `edits` (the track's, ending at or before `at`, movie
// time) with `inserted` (the appended track's edits, movie time, media
// times relative to the appended media), whose media `appended` is put
// after `mediaBase` units of media. They merge when the media the last
// edit would go on to play at `at` is where the first inserted edit starts,
// within one movie time unit, or within one sample (less than a frame or a
// sound packet of sync at the join; a composition delay for video whose
// edits were implicit); for sound, leading packets of the appended media
// are left out when that brings its start nearer (priming that its own
// edit skipped).
JoinPlan PlanJoin(const std::vector<Edit>& edits, uint64_t at, uint64_t mediaBase,
                  const std::vector<Edit>& inserted, const Track& appended, bool sound,
                  uint32_t movieScale, uint32_t mediaScale);

// Drops empty edits at the end of a list (they play nothing) and edits of no
// duration.
void TrimEdits(std::vector<Edit>& edits);

}  // namespace trelvan::mov
