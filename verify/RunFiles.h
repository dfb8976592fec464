#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Which file a failed run is about, and what the system says about it: the
// command line names it on its error line, the desktop program below the
// text of its error box.
namespace trelvan::verify {

// The files of a run, to tell which one an error is about.
struct RunFiles {
    std::vector<std::string> sources;
    std::string output;
    // The source the operation or the join check found unreadable, when it
    // said which (an index into `sources`); -1 otherwise.
    int32_t failedSource = -1;
};

// Whether a code is about the output, a source, or either.
enum class ErrorRole { Output, Source, Either };

// The one-line texts of the codes this program raises, with the file each
// is about (the command line's error line). Null for other codes.
struct ErrorLineText {
    int32_t code;
    ErrorRole role;
    const char* english;
    const char* japanese;
};
const ErrorLineText* FindErrorLineText(int32_t code);

// The file an error code of a run is about: the output for the codes of
// writing, a source for the codes of reading (the one the run named, the
// only one, or the first that does not open as media); empty when it
// cannot be told.
std::string FileOfError(int32_t code, const RunFiles& files);

// Which source of a unite (its video source 0, its audio source 1) lacks
// the stream it is taken for, or does not open; -1 when both have theirs.
int32_t UniteFailedSource(const std::string& video, const std::string& audio);

// The system's reason a file of a run gives, as an errno value, or 0 when
// the system has none (the file is there and readable: its contents are
// the trouble). A source: whether it opens for reading. An output: whether
// its folder is there and takes a new file.
int SystemReason(const std::string& path, bool output);
// An errno value as the system words it, in the user's language.
std::string SystemReasonText(int error, bool japanese);

// What an error box adds below the code's text: the file the code is about
// (for an entry of a link also which entry of how many) and the system's
// reason where there is one, one per line. Empty when no file can be told.
std::string ErrorPlaceText(int32_t code, const RunFiles& files, bool link, bool japanese);

}  // namespace trelvan::verify
