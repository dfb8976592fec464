#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "MediaFile.h"
#include "VerifyReport.h"

// Comparing one kind of stream of a written file with the sources it was
// copied from, reading one sample (video) or one block of bytes (audio) of
// each file at a time.
namespace trelvan::verify {

struct CompareOutcome {
    std::optional<VerifyDifference> difference;
    // How far the output agreed before the difference: samples (video) or
    // bytes (audio). Used to pick the closest of several readings.
    uint64_t matched = 0;
    std::string summary;  // e.g. "video: 75 samples as a.avi, b.avi"
    // Where a run that held starts in its source: a sample (video) or a
    // byte (audio); -1 otherwise.
    int64_t start = -1;
    // A concatenation: where each source's part begins in the output, a
    // sample (video) or a byte (audio), for the sources reached, and the
    // source (1-based) being compared when it stopped.
    std::vector<uint64_t> entryStarts;
    int entry = 0;
    // Audio of a movie join: the bytes of each source's audio left out at
    // its start (sound priming the link dropped), by entry as entryStarts.
    std::vector<uint64_t> entryResumed;
};

// The output's samples of `kind` are all those of `sources`, in order.
CompareOutcome CompareConcatenation(MediaFile& output, MediaKind kind,
                                    const std::vector<MediaFile*>& sources);
// The output's samples of `kind` are one contiguous run of those of `source`
// (found by the content of its first sample or bytes). `near` (-1: not
// known) is where the run is expected to start, a sample (video) or a byte
// (audio): looked at first.
CompareOutcome CompareRun(MediaFile& output, MediaKind kind, MediaFile& source,
                          int64_t near = -1);
// Every sample of `kind` of the output can be read.
CompareOutcome ReadAll(MediaFile& output, MediaKind kind);

}  // namespace trelvan::verify
