#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RunFiles.h"

// How the command line reports an error code: one line on standard error
// that names the file it is about and keeps the code for scripts, in the
// language of the messages:
//   trelvan-cli: clip2.avi: the file does not open (error 1002)
// (The desktop's error box, caption and all, stays what `trelvan-cli error
// CODE` shows.)
namespace trelvan::cli {

// The files of a run and which one an error is about (shared with the
// desktop program).
using verify::FileOfError;
using verify::RunFiles;
using verify::UniteFailedSource;

// The line for `code` about `file` (none when empty), with an optional
// detail after the text; empty for the codes without a text (0 and -2).
// No line break at the end.
std::string ErrorLine(int32_t code, const std::string& file, const std::string& detail = {});

// Prints ErrorLine(code, FileOfError(code, files)) on standard error.
void PrintRunError(int32_t code, const RunFiles& files, const std::string& detail = {});

}  // namespace trelvan::cli
