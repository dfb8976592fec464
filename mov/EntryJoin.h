#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "MovieModel.h"

// Joining movies end to end with one edit per track. Each entry begins
// where the movie so far ends as players present it (its longest track);
// every track of the entry starts there plus the entry's own offset of that
// track, so the entry keeps the distance between its tracks. The entry's
// samples follow the track's media, and its last edit simply plays on:
//  - a gap before them is closed in the media, never with an edit: video
//    and other media by the previous sample lasting longer (the picture
//    stays on screen), text by an empty sample, sound by whole packets of
//    silence in its own coding where one can be made (else the last packet
//    lasts longer);
//  - sound the track's edit left unplayed at its end, and a later entry's
//    leading packets that its own edit skipped (priming), are left out, as
//    whole packets, so that the entry's sound starts within half a packet
//    of its place;
//  - video that cannot start as early as the entry (the track's media runs
//    past its presented end) moves the whole entry later.
// Every place is computed from the entry's start, never from the join
// before it, so the error at a join never adds up.
namespace trelvan::mov {

// How one track of an entry is appended to a track of the movie.
struct TrackJoin {
    // False: the edits of one of the two are not a single edit after
    // leading empty time (the join is then made with edits).
    bool single = false;
    // Trailing samples of the track's media to leave out (sound past its
    // end), and leading samples of the entry's media (sound its edit
    // skipped).
    size_t dropTail = 0;
    size_t skipHead = 0;
    // Media time units to close before the entry's samples, and as how many
    // silence packets of `silenceDuration` (0: by the last sample lasting
    // longer, or an empty text sample).
    uint64_t fill = 0;
    uint64_t silencePackets = 0;
    // Movie time units the entry has to begin later for this track to keep
    // one edit (video whose media runs past its presented end).
    double lateBy = 0;
    // The new duration of the track's last edit, movie time units.
    uint64_t lastEditDuration = 0;
};

// Where the entry's presentation of one track starts and what it plays.
struct EntryTrack {
    const Track* track = nullptr;
    std::vector<Edit> edits;  // explicit, in `movieScale` units
    uint32_t movieScale = 0;
};

// The track's edits as players present it: its own, or for a track without
// any, its media from the first time it shows, a composition delay before
// that shown as empty time (as players that find no edit list show it).
std::vector<Edit> PresentedEdits(const Track& track, uint32_t movieScale);

// Plans the join of `entry` after `into` (its explicit edits `intoEdits`, in
// units of `movieScale`, already ending by its media), the entry starting
// at `start` (movie time units, fractional). `silenceDuration` is the
// media duration of one packet of silence in the track's coding, 0 when
// none can be made.
TrackJoin PlanTrackJoin(const Track& into, const std::vector<Edit>& intoEdits, uint32_t movieScale,
                        const EntryTrack& entry, double start, uint32_t silenceDuration);

}  // namespace trelvan::mov
