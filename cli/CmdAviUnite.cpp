#include <cstdio>

#include "AviUnite.h"
#include "CliCommon.h"
#include "Commands.h"
#include "Language.h"
#include "ProgressText.h"
#include "VerifyWritten.h"

namespace trelvan::cli {

// trelvan-cli avi-unite VIDEO AUDIO [-o OUT]: the unite page's work. Without
// -o the output is the video source's stem + "_comb.avi"; a name given is
// used as it is, and the file is an AVI file.
int RunAviUnite(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{kVerify}, {"-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli avi-unite VIDEO AUDIO [-o OUT] [--verify]\n"
                "Writes the video stream of the AVI file VIDEO and the audio stream of AUDIO\n"
                "(an AVI file with audio, or a WAV file) into one AVI file, both whole and\n"
                "unchanged. Default output: the video source's name with _comb.avi.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Positional().size() != 2) {
            return UsageFailure("avi-unite takes exactly VIDEO and AUDIO");
        }
        ApplyCommonOptions(args);
        AviUniteJob job;
        job.videoSource = args.Positional()[0];
        job.audioSource = args.Positional()[1];
        job.output = UniteOutputName(job.videoSource, args.Value("-o").value_or(""));

        OpContext ctx;
        CliRun run(ctx, args);
        run.SetProgressText(
            [&ctx] { return FormatProgress(SavePercentProgress(ctx, IsJapaneseSystem())).text; });
        const AviSaveRunResult result = trelvan::RunAviUnite(job, ctx);
        run.FinishProgress();
        if (run.Interrupted()) {
            return kExitStopped;
        }
        if (result.code != 0) {
            PrintRunError(result.code, {{job.videoSource, job.audioSource},
                                        job.output,
                                        UniteFailedSource(job.videoSource, job.audioSource)});
            return kExitOperationError;
        }
        return VerifyIfAsked(args, kExitOk, job.output,
                             UnitePlan(job.videoSource, job.audioSource));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
