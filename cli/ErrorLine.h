#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How the command line reports an error code: one line on standard error
// that names the file it is about and keeps the code for scripts, in the
// language of the messages:
//   trelvan-cli: clip2.avi: the file does not open (error 1002)
// (The desktop's error box, caption and all, stays what `trelvan-cli error
// CODE` shows.)
namespace trelvan::cli {

// The files of a run, to tell which one an error is about.
struct RunFiles {
    std::vector<std::string> sources;
    std::string output;
    // The source the operation or the join check found unreadable, when it
    // said which (an index into `sources`); -1 otherwise.
    int32_t failedSource = -1;
};

// The line for `code` about `file` (none when empty), with an optional
// detail after the text; empty for the codes without a text (0 and -2).
// No line break at the end.
std::string ErrorLine(int32_t code, const std::string& file, const std::string& detail = {});

// The file an error code of a run is about: the output for the codes of
// writing, a source for the codes of reading (the one the run named, the
// only one, or the first that does not open as media); empty when it
// cannot be told.
std::string FileOfError(int32_t code, const RunFiles& files);

// Which source of a unite (its video source 0, its audio source 1) lacks
// the stream it is taken for, or does not open; -1 when both have theirs.
int32_t UniteFailedSource(const std::string& video, const std::string& audio);

// Prints ErrorLine(code, FileOfError(code, files)) on standard error.
void PrintRunError(int32_t code, const RunFiles& files, const std::string& detail = {});

}  // namespace trelvan::cli
