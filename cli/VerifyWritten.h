#pragma once

#include <string>

#include "CliArgs.h"
#include "OutputVerify.h"

// --verify of the writing commands: after a successful write the output is
// read back with the program's readers and compared with what the command
// meant to write (its plan, from the verify library). The check streams
// through the files; nothing is held whole.
namespace trelvan::cli {

// The verify library's plans and check, under the names the commands use.
using verify::AudioExtractPlan;
using verify::AudioLinkPlan;
using verify::AudioOnly;
using verify::ExtractPlan;
using verify::JoinPlan;
using verify::LinkPlan;
using verify::OutputPlan;
using verify::RunPlan;
using verify::SeparatePlan;
using verify::StreamPlan;
using verify::UnitePlan;
using verify::VerifyOutputPlan;
using verify::WholeStreamsPlan;

inline constexpr const char* kVerify = "--verify";

// When the command line asked for --verify (or verify::VerifyEveryOutput
// says so) and `status` is a success: checks `output` against `plan`. A
// difference is printed on standard error and makes the exit status 1;
// otherwise `status` is returned (with --verify a line on standard error
// tells what was checked, unless --quiet).
int VerifyIfAsked(const ParsedArgs& args, int status, const std::string& output,
                  const OutputPlan& plan);

}  // namespace trelvan::cli
