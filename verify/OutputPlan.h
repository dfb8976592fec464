#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SampleWalk.h"

// What an operation meant to write, kind by kind: which sources' streams,
// whole, joined or as a run. The checks of OutputVerify.h hold an output to
// its plan.
namespace trelvan::verify {

// What one kind of stream of the output must hold.
struct StreamPlan {
    enum class Form {
        Concatenation,  // every sample of the sources, in order (one source: all of it)
        RunOfOne,       // one contiguous run of samples of the only source
    };
    Form form = Form::Concatenation;
    std::vector<std::string> sources;
};

// The part of the source an extract was asked for, in seconds of the
// source's own times (as its walks give them); `end` < 0: to the end of its
// data.
struct PlanRange {
    double start = 0;
    double end = -1;
};

// What the output of an operation must hold; a kind without a plan must be
// absent from the output.
struct OutputPlan {
    std::optional<StreamPlan> video;
    std::optional<StreamPlan> audio;
    // A run's range when the operation told it: then no frame of the source
    // inside it may be missing from the output.
    std::optional<PlanRange> range;
};

// The plans of the operations' kinds of work.
// A whole stream of one source per kind (separate, unite); an empty path
// means the output has no stream of that kind.
OutputPlan WholeStreamsPlan(const std::string& video_source, const std::string& audio_source);
// Every kind the first source has, from every source that has it, in order
// (a link).
OutputPlan JoinPlan(const std::vector<std::string>& sources);
// Every kind the source has, as one run of its samples (an extract).
OutputPlan RunPlan(const std::string& source);
// Audio only (the audio link and extract write WAV files).
OutputPlan AudioOnly(OutputPlan plan);

// What each writing operation means to write, shared by the command line
// and the desktop program (call them after the run: they read the sources).
// A separate: the whole stream of one kind of the source.
OutputPlan SeparatePlan(const std::string& source, MediaKind kind);
// A unite: the whole video of one source and the whole audio of the other.
OutputPlan UnitePlan(const std::string& video_source, const std::string& audio_source);
// A link of AVI, ASF or movie files; the audio link's WAV file.
OutputPlan LinkPlan(const std::vector<std::string>& sources);
OutputPlan AudioLinkPlan(const std::vector<std::string>& sources);
// An extract; the audio extract's WAV file.
OutputPlan ExtractPlan(const std::string& source);
// The same with the range asked for (seconds; `end` < 0: to the end).
OutputPlan ExtractPlan(const std::string& source, double start, double end);
// A movie extract of [start, end) (100 ns; UINT64_MAX: to the end): every
// kind of the source whose tracks show something in the range (one that
// shows nothing there is left out of the output).
OutputPlan MovieExtractPlan(const std::string& source, uint64_t start, uint64_t end);
OutputPlan AudioExtractPlan(const std::string& source);

}  // namespace trelvan::verify
