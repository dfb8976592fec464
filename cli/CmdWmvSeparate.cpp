#include <cstdio>

#include "CliCommon.h"
#include "CmdWmvRun.h"
#include "Commands.h"
#include "VerifyWritten.h"

namespace trelvan::cli {

// trelvan-cli wmv-separate --video|--audio SRC [-o OUT]: the WMV separate
// page's Video Cut or Audio Cut. The output's extension always follows the
// kind (.wmv for video, .wma for audio); without -o the output is the
// source's stem + "_cut".
int RunWmvSeparate(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{"--video", "--audio", kVerbose, kVerify}, {"-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli wmv-separate --video|--audio SRC [-o OUT] [--verbose] [--verify]\n"
                "Copies the video stream of a WMV/ASF file into a WMV file of its own, or its\n"
                "audio stream into a WMA file, without re-encoding (the last stream of the\n"
                "kind when there are several). The output's extension is always .wmv for\n"
                "--video and .wma for --audio. Default output: the source's name with _cut.\n"
                "--verbose prints the copy engine's diagnostic lines on standard error.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Has("--video") == args.Has("--audio")) {
            return UsageFailure("wmv-separate takes one of --video and --audio");
        }
        if (args.Positional().size() != 1) {
            return UsageFailure("wmv-separate takes exactly one SRC");
        }
        ApplyCommonOptions(args);
        WmvSeparateJob job;
        job.source = args.Positional()[0];
        job.output = args.Value("-o").value_or("");
        job.kind = args.Has("--video") ? WmvStreamKind::Video : WmvStreamKind::Audio;
        WmvOpResult result;
        const int status = RunWmvCommand(
            args, WmvRangeProgress,
            [&job](OpContext& ctx) { return trelvan::RunWmvSeparate(job, ctx); },
            {{job.source}, job.output}, &result);
        return VerifyIfAsked(args, status, result.output,
                             SeparatePlan(job.source, job.kind == WmvStreamKind::Video
                                                          ? verify::MediaKind::Video
                                                          : verify::MediaKind::Audio));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
