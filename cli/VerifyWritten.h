#pragma once

#include <string>
#include <vector>

#include "CliArgs.h"
#include "OutputVerify.h"

// --verify of the writing commands: after a successful write the output is
// read back with the program's readers and compared with what the command
// meant to write (its plan: which sources' streams, whole, joined or as a
// run). The check streams through the files; nothing is held whole.
namespace trelvan::cli {

inline constexpr const char* kVerify = "--verify";

// The plans of the commands' kinds of work.
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

// When the command line asked for --verify and `status` is a success:
// checks `output` against `plan`. A difference is printed on standard error
// and makes the exit status 1; otherwise `status` is returned (a line on
// standard error tells what was checked, unless --quiet).
int VerifyIfAsked(const ParsedArgs& args, int status, const std::string& output,
                  const OutputPlan& plan);

}  // namespace trelvan::cli
