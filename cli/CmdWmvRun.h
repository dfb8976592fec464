#pragma once

#include <functional>
#include <string>

#include "CliArgs.h"
#include "ErrorLine.h"
#include "OpContext.h"
#include "WmvOperations.h"

// What the four WMV commands share. The WMV operations take their samples
// on reader threads and never call the context's pump hook, so the progress
// line is redrawn from a thread of the command's own while the operation
// runs.
namespace trelvan::cli {

// The options every WMV command takes besides its own.
inline constexpr const char* kVerbose = "--verbose";

// Runs `op` against a command-line context: Ctrl-C stops it, the progress
// line (`progress` of the context) is redrawn every 100 ms unless quiet, and
// with --verbose the copy engine's diagnostic lines go to standard error.
// Prints the error of a failed run (naming the one of `files` it is about)
// and returns the exit status; `result` gets the operation's result.
int RunWmvCommand(const ParsedArgs& args,
                  const std::function<ProgressInput(const OpContext&, bool japanese)>& progress,
                  const std::function<WmvOpResult(OpContext&)>& op, RunFiles files,
                  WmvOpResult* result = nullptr);

}  // namespace trelvan::cli
