#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "MediaFile.h"
#include "OutputPlan.h"
#include "VerifyReport.h"

// The check of a written file: its headers and indexes against what it
// holds (OutputStructure.h), every sample readable, and optionally its
// samples against the sources they were copied from, byte for byte.
//
// Video is compared sample by sample (bytes and key flag). Audio is compared
// as one run of bytes per stream, since writers chunk it their own way (AVI
// audio is interleaved in pieces, WAV has no samples). At a join a source's
// audio may end before its last partial block: a WAV source whose data ends
// inside a block gives only its whole blocks.
namespace trelvan::verify {

// How a caller follows and ends a running check: `progress` is called now
// and then with the share (0 to 1) of the output's samples read so far, and
// a non-zero `*stop` ends the check at the next sample it reads (the report
// is then `stopped`: nothing was found, nothing verified).
struct VerifyControl {
    const std::atomic<int>* stop = nullptr;
    std::function<void(double share)> progress;
    bool Stopped() const { return stop != nullptr && stop->load() != 0; }
};

// Whether every output of `output`'s family is to be checked although no one
// asked: the environment variable TRELVAN_VERIFY_WRITTEN lists the families
// ("avi", "wav", "asf", "movie", comma-separated, or "all"). The test suite
// sets it, so that every output its commands and pages write is checked.
bool VerifyEveryOutput(const std::string& output);

// The output alone: structure, and every sample of its video and audio
// streams read.
VerifyReport VerifyOutput(const std::string& output);

// Structure, then each kind against the plan.
VerifyReport VerifyOutputPlan(const std::string& output, const OutputPlan& plan,
                              const VerifyControl* control = nullptr);

// Structure, then each kind of the output against the sources, in the forms
// the operations write: all sources with that kind concatenated (a link),
// or a run of one of them (a separate or unite takes a whole stream, an
// extract a part). The first form that holds passes; otherwise the
// difference of the one that got furthest is reported.
VerifyReport VerifyOutputAgainst(const std::string& output, const std::vector<std::string>& sources);

}  // namespace trelvan::verify
