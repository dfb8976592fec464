#include <cstdio>

#include "AviSeparate.h"
#include "CliCommon.h"
#include "Commands.h"
#include "Language.h"
#include "ProgressText.h"
#include "VerifyWritten.h"

namespace trelvan::cli {

// trelvan-cli avi-separate --video|--audio SRC [-o OUT]: the separate page's
// Video Cut or Audio Cut. The output's extension becomes .avi or .wav as on
// the page; without -o it is the source's stem + "_cut".
int RunAviSeparate(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{"--video", "--audio", kVerify}, {"-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli avi-separate --video|--audio SRC [-o OUT] [--verify]\n"
                "--video writes the video stream of an AVI file alone into an AVI file;\n"
                "--audio writes its audio stream (the last one) into a WAV file in its own\n"
                "format. Samples are copied unchanged. The output gets the extension .avi or\n"
                ".wav; default output: the source's name with _cut.avi or _cut.wav.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Has("--video") == args.Has("--audio")) {
            return UsageFailure("avi-separate takes one of --video and --audio");
        }
        if (args.Positional().size() != 1) {
            return UsageFailure("avi-separate takes exactly one SRC");
        }
        ApplyCommonOptions(args);
        AviSeparateJob job;
        job.kind = args.Has("--video") ? SeparateKind::Video : SeparateKind::Audio;
        job.source = args.Positional()[0];
        job.output = SeparateOutputName(job.source, args.Value("-o").value_or(""), job.kind);

        OpContext ctx;
        CliRun run(ctx, args);
        run.SetProgressText(
            [&ctx] { return FormatProgress(SavePercentProgress(ctx, IsJapaneseSystem())).text; });
        const AviSaveRunResult result = trelvan::RunAviSeparate(job, ctx);
        run.FinishProgress();
        if (run.Interrupted()) {
            return kExitStopped;  // the save reports a stop as 103
        }
        if (result.code != 0) {
            PrintRunError(result.code, {{job.source}, job.output});
            return kExitOperationError;
        }
        return VerifyIfAsked(args, kExitOk, job.output,
                             SeparatePlan(job.source, job.kind == SeparateKind::Video
                                                          ? verify::MediaKind::Video
                                                          : verify::MediaKind::Audio));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
