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

struct VerifyReport {
    std::string output;
    std::vector<std::string> against;
    std::string container;             // "avi", "wav", "asf", "movie"
    std::vector<std::string> checked;  // what was compared, e.g. "video: 75 samples"
    std::optional<VerifyDifference> difference;

    bool Ok() const { return !difference.has_value(); }
    // {"output", "against", "container", "ok", "checked": [...],
    //  "difference": {"stream", "sample", "offset", "field", "expected", "found"}}
    std::string Json() const;
    // "OUT: ok (...)" or "OUT: <stream> sample N, byte B: FIELD: expected X, found Y".
    std::string Text() const;
};

// One line for a difference, as Text() shows it.
std::string DescribeDifference(const VerifyDifference& d);

}  // namespace trelvan::verify
