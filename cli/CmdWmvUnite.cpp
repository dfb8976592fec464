#include <cstdio>

#include "CliCommon.h"
#include "CmdWmvRun.h"
#include "Commands.h"
#include "VerifyWritten.h"

namespace trelvan::cli {

// trelvan-cli wmv-unite VIDEO AUDIO [-o OUT]: the WMV unite page's work.
// Without -o the output is the video source's stem + "_comb.wmv".
int RunWmvUnite(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{kVerbose, kVerify}, {"-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli wmv-unite VIDEO AUDIO [-o OUT] [--verbose] [--verify]\n"
                "Writes the video stream of VIDEO and the audio stream of AUDIO (WMV, WMA or\n"
                "ASF files; the last stream of the kind in each) into one WMV file without\n"
                "re-encoding: video as stream 1, audio as stream 2, up to the end of the\n"
                "longer source. Default output: VIDEO's name with _comb.wmv.\n"
                "--verbose prints the copy engine's diagnostic lines on standard error.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Positional().size() != 2) {
            return UsageFailure("wmv-unite takes a VIDEO and an AUDIO source");
        }
        ApplyCommonOptions(args);
        WmvUniteJob job;
        job.video = args.Positional()[0];
        job.audio = args.Positional()[1];
        job.output = args.Value("-o").value_or(WmvUniteDefaultOutput(job.video));
        WmvOpResult result;
        const int status = RunWmvCommand(
            args, WmvRangeProgress,
            [&job](OpContext& ctx) { return trelvan::RunWmvUnite(job, ctx); },
            {{job.video, job.audio}, job.output, UniteFailedSource(job.video, job.audio)}, &result);
        return VerifyIfAsked(args, status, result.output, UnitePlan(job.video, job.audio));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
