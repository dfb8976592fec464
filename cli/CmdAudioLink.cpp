#include <cstdio>

#include "AudioLink.h"
#include "CliCommon.h"
#include "Commands.h"
#include "JoinCheckAvi.h"
#include "Language.h"
#include "OutputNames.h"
#include "ProgressText.h"
#include "VerifyWritten.h"

namespace trelvan::cli {

// trelvan-cli audio-link SRC... [-o OUT]: the audio link page's work. The
// sources are linked in the order given; without -o the output is the first
// source's stem + "_link.wav".
int RunAudioLink(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{"--force", kVerify}, {"-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli audio-link SRC... [-o OUT] [--force] [--verify]\n"
                "Joins the audio of WAV or AVI files (an AVI file's last audio stream), in the\n"
                "order given, into one WAV file. The bytes are copied unchanged and described\n"
                "by the first source's format, so the sources must share one format: a list\n"
                "that does not (see trelvan-cli check) is refused with the differences unless\n"
                "--force is given.\n"
                "Default output: the first source's name with _link.wav.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Positional().empty()) {
            return UsageFailure("audio-link takes one SRC or more");
        }
        ApplyCommonOptions(args);
        AudioLinkJob job;
        job.sources = args.Positional();
        job.output =
            args.Value("-o").value_or(DefaultOutputName(job.sources.front(), "_link", ".wav"));
        const JoinReport join = CheckAudioJoin(job.sources);
        if (RefuseUnlessClean(join, args.Has("--force"))) {
            return kExitOperationError;
        }

        OpContext ctx;
        CliRun run(ctx, args);
        run.SetProgressText([&ctx] {
            ProgressInput in;
            in.form = ProgressForm::LinkElapsedOnly;
            in.elapsedMs = ctx.timer.GetTotal();
            in.item = ctx.item.load() + 1;
            in.items = ctx.items.load();
            in.done = ctx.item.load();
            in.total = ctx.items.load();
            in.japanese = IsJapaneseSystem();
            return FormatProgress(in).text;
        });
        const AudioLinkResult result = trelvan::RunAudioLink(job, ctx);
        run.FinishProgress();
        if (result.code != 0) {
            PrintRunError(result.code, {job.sources, job.output,
                                        result.failedSource >= 0 ? result.failedSource : join.unreadable});
            return kExitOperationError;
        }
        if (run.Interrupted()) {
            return kExitStopped;
        }
        return VerifyIfAsked(args, kExitOk, job.output, AudioLinkPlan(job.sources));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
