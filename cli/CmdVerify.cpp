#include <cstdio>

#include "CliCommon.h"
#include "Commands.h"
#include "OutputVerify.h"

namespace trelvan::cli {

// trelvan-cli verify OUT [--against SRC...] [--human]: reads a written file
// back with the program's readers and checks that its headers, indexes and
// contents agree; with --against, that its samples are those of the sources.
// --against takes every file argument after OUT.
int RunVerify(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{"--human", "--against"}, {}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli verify OUT [--against SRC...] [--human]\n"
                "Reads OUT (AVI, WAV, WMV/WMA/ASF, MOV/MP4/M4A) with the program's own readers\n"
                "and checks that its headers and indexes agree with what it holds (frame and\n"
                "sample counts, stream lengths, RIFF, data, object and atom sizes, sample\n"
                "tables) and that every sample can be read. With --against, the video of OUT\n"
                "must be the sources' video frames (bytes and key flags) and its audio their\n"
                "audio bytes: all sources that have the kind, in order (a link), or one run\n"
                "of one of them (a separate, unite or extract). Prints the result as JSON\n"
                "(as text with --human). Exit 0 when everything agrees, 1 with the first\n"
                "difference (stream, sample, byte offset or field, both values).\n");
            return kExitOk;
        }
        const std::vector<std::string>& files = args.Positional();
        if (files.empty()) {
            return UsageFailure("verify takes an OUT file");
        }
        if (args.Has("--against") != (files.size() > 1)) {
            return UsageFailure(files.size() > 1 ? "verify takes one OUT file; sources follow --against"
                                                 : "--against takes at least one SRC");
        }
        ApplyCommonOptions(args);
        const std::vector<std::string> sources(files.begin() + 1, files.end());
        const verify::VerifyReport report = sources.empty()
                                                ? verify::VerifyOutput(files.front())
                                                : verify::VerifyOutputAgainst(files.front(), sources);
        const std::string out = args.Has("--human") ? report.Text() : report.Json() + "\n";
        std::printf("%s", out.c_str());
        return report.Ok() ? kExitOk : kExitOperationError;
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
