#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a check of a written file found: nothing, or the first difference
// between what the file should hold and what it holds.
namespace trelvan::verify {

struct VerifyDifference {
    std::string stream;   // "file", "video", "audio", a header ("avih", "strh 1", ...)
    int64_t sample = -1;  // sample of the stream in the output, when it is about one
    int64_t offset = -1;  // byte offset (in the sample, or in the stream's bytes)
    std::string field;    // what differs: "bytes", "key flag", "total frames", ...
    std::string expected;
    std::string found;
};

// Where a player meets a difference: the entry of a join (1-based; 1 for
// the one source of an extract; 0 when no entry is concerned), that entry's
// file name, and the time in the output's presentation, in seconds (-1 when
// the difference has no place in it).
struct VerifyPlace {
    int entry = 0;
    std::string source;
    double time = -1;
};

struct VerifyReport {
    std::string output;
    std::vector<std::string> against;
    std::string container;             // "avi", "wav", "asf", "movie"
    std::vector<std::string> checked;  // what was compared, e.g. "video: 75 samples"
    std::optional<VerifyDifference> difference;
    VerifyPlace place;  // of the difference
    // What a check against a plan found identical: the output's video
    // frames and its audio's length in seconds (-1: the output has none).
    int64_t frames = -1;
    double audioSeconds = -1;
    // The check was ended by its caller before it was done.
    bool stopped = false;

    bool Ok() const { return !difference.has_value() && !stopped; }
    // {"output", "against", "container", "ok", "checked": [...],
    //  "difference": {"stream", "sample", "offset", "field", "expected", "found",
    //                 "entry", "source", "time"}}
    std::string Json() const;
    // "OUT: ok (...)" or "OUT: [entry E (SRC)][ at T s: ]<stream> sample N, byte B: FIELD:
    // expected X, found Y".
    std::string Text() const;
};

// One line for a difference, as Text() shows it.
std::string DescribeDifference(const VerifyDifference& d);
// "entry E (SRC) at T s: " for a placed difference, else empty.
std::string DescribePlace(const VerifyPlace& p);

}  // namespace trelvan::verify
