#pragma once

#include <optional>
#include <string>
#include <vector>

#include "MediaFile.h"
#include "OutputPlan.h"
#include "SampleCompare.h"
#include "VerifyReport.h"

// The output as players present it, once its samples matched the plan:
// where each entry of a join begins in time (PresentedTimes.cpp), what the
// edit lists of a movie show (PresentedMovie.cpp), the first frame of every
// entry and cut decodable, no frame of the plan's range left out. Internal
// to OutputVerify.cpp.
namespace trelvan::verify::presented {

// A difference and where a player meets it.
struct Placed {
    VerifyDifference difference;
    VerifyPlace place;
};

// What the comparison of one kind found.
struct KindFacts {
    bool planned = false;
    StreamPlan::Form form = StreamPlan::Form::Concatenation;
    std::vector<MediaFile*> sources;
    CompareOutcome outcome;  // of a comparison that held (or the one that failed)
};

// Where the `j`th file of `of` is in `in`, counting a file that comes
// more than once in order; -1 when it is not there.
int Counterpart(const std::vector<MediaFile*>& of, size_t j, const std::vector<MediaFile*>& in);

// The check's files and the comparisons' findings.
struct Facts {
    MediaFile* output = nullptr;
    // The entries in the order the output holds them (a run: its source).
    std::vector<MediaFile*> entries;
    KindFacts video, audio;
    std::optional<PlanRange> range;

    const KindFacts& Of(MediaKind k) const { return k == MediaKind::Video ? video : audio; }
    // 1-based entry of the `j`th source of `kind` (a file may come more than
    // once), 0 when it is none of them.
    int EntryOf(MediaKind kind, size_t j) const;
    // `d` placed at entry `entry` (1-based) and `time` (seconds; -1: none).
    Placed At(VerifyDifference d, int entry, double time) const;
};

// A difference of the comparisons of a join or run, placed at its entry and,
// where it concerns a sample or byte of the output, at its time.
VerifyPlace PlaceComparison(const Facts& facts, MediaKind kind, const VerifyDifference& d);

// A movie join: for each source, the rank among the output's tracks of
// `kind` of the track its own (first) track of the kind goes into. The link
// pastes it into the first track that takes it (mov::PastesInto: the same
// kind, size, time scale, language, sound layout), else into a track of its
// own, as a forced join of movies of different sizes does. Empty when the
// output is not a movie.
std::vector<size_t> JoinTrackRanks(MediaFile& output, MediaKind kind,
                                   const std::vector<MediaFile*>& sources);

// Movie tables before the samples are compared: edits against the media,
// sound chunked on packet boundaries.
std::optional<Placed> CheckMovieTables(const Facts& facts, std::vector<std::string>* checked);

// After the comparisons held: joins in time, frames presented, first frames
// decodable, ranges whole.
std::optional<Placed> CheckPresented(const Facts& facts, std::vector<std::string>* checked);

// Per family (PresentedTimes.cpp handles AVI and ASF, PresentedMovie.cpp
// movies).
std::optional<Placed> CheckPresentedStreams(const Facts& facts, std::vector<std::string>* checked);
std::optional<Placed> CheckPresentedMovie(const Facts& facts, std::vector<std::string>* checked);

}  // namespace trelvan::verify::presented
