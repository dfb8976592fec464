#include <algorithm>
#include <cctype>
#include <cstdio>

#include "CliCommon.h"
#include "CmdInfoMovie.h"
#include "Commands.h"
#include "JoinCheckAvi.h"
#include "MovJoinCheck.h"
#include "OutputNames.h"
#include "WmvJoinCheck.h"

namespace trelvan::cli {

namespace {

bool AllWithExtension(const std::vector<std::string>& sources,
                      std::initializer_list<const char*> extensions) {
    return std::all_of(sources.begin(), sources.end(), [&](const std::string& s) {
        std::string ext = FileExtension(s);
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return std::any_of(extensions.begin(), extensions.end(),
                           [&](const char* e) { return ext == e; });
    });
}

}  // namespace

JoinReport CheckJoinOf(const std::vector<std::string>& sources) {
    // A list of AVI files is checked as the AVI link joins it (video and
    // audio), a list of movies as the MOV link does, a list of Windows Media
    // files as the WMV link does; any other list as the audio link joins it.
    if (AllWithExtension(sources, {".avi"})) {
        return CheckAviJoin(sources);
    }
    // Movies are told by their extension or, whatever they are called
    // (.ismv, .avif, .3g2, ...), by their first atom, as `info` tells them.
    if (AllWithExtension(sources, {".mov", ".mp4", ".m4a", ".m4v", ".3gp", ".qt"}) ||
        std::all_of(sources.begin(), sources.end(), LooksLikeMovie)) {
        return CheckMovieJoin(sources, DiskFileOpener(), [](const std::string& text) {
            std::fprintf(stderr, "trelvan-cli: %s\n", text.c_str());
        });
    }
    if (AllWithExtension(sources, {".wmv", ".wma", ".asf"})) {
        return CheckWmvJoin(sources);
    }
    return CheckAudioJoin(sources);
}

bool RefuseUnlessClean(const JoinReport& report, bool force) {
    if (report.differences.empty() || force) {
        return false;
    }
    std::fprintf(stderr, "%s", report.Text().c_str());
    std::fprintf(stderr,
                 "trelvan-cli: the sources do not match, so the output may not play correctly; "
                 "--force joins them anyway\n");
    return true;
}

// trelvan-cli check SRC... [--human]: whether the sources join cleanly, as
// the link of their kind would join them; the report as JSON or as text.
int RunCheck(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{"--human"}, {}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli check SRC... [--human]\n"
                "Compares every source with the first on what must agree for a join to play:\n"
                "AVI files on their video (compression, handler, frame size, bit depth, frame\n"
                "rate, codec data) and audio, movies (.mov, .mp4, .m4a, .m4v, .3gp, or any\n"
                "file that begins as one) on how\n"
                "their tracks paste (frame size, time scale, language, matrix, sample\n"
                "descriptions), WMV/WMA files (.wmv, .wma, .asf) on their streams (numbers,\n"
                "kinds, codecs and formats), other lists on their audio format. Prints the\n"
                "differences as JSON (as text with --human). Exit 0 when the list joins\n"
                "cleanly, 1 when it does not.\n");
            return kExitOk;
        }
        if (args.Positional().empty()) {
            return UsageFailure("check takes at least one SRC");
        }
        ApplyCommonOptions(args);
        const JoinReport report = CheckJoinOf(args.Positional());
        const std::string out = args.Has("--human") ? report.Text() : report.Json() + "\n";
        std::printf("%s", out.c_str());
        return report.JoinsCleanly() ? kExitOk : kExitOperationError;
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
