#include <cstdio>

#include "AviLink.h"
#include "CliCommon.h"
#include "Commands.h"
#include "JoinCheckAvi.h"
#include "Language.h"
#include "VerifyWritten.h"

namespace trelvan::cli {

// trelvan-cli avi-link SRC... [-o OUT]: the AVI link page's work. Without -o
// the output is the first source's stem + "_link.avi".
int RunAviLink(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{"--skip-unreadable", "--force", kVerify}, {"-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli avi-link SRC... [-o OUT] [--skip-unreadable] [--force]\n"
                "       [--verify]\n"
                "Joins AVI files, in the order given, into one AVI file without re-encoding:\n"
                "each source's video, then its audio. Stream headers and formats are the\n"
                "first source's; a source's audio is left out when the first has none.\n"
                "Each source's audio starts with its video: audio longer than its video is\n"
                "cut there (the last source keeps all), shorter or missing audio is followed\n"
                "by silence (PCM, A-law, u-law, ADPCM, MPEG audio); other formats are joined\n"
                "as they are, with a warning naming each source whose audio then drifts.\n"
                "Default output: the first source's name with _link.avi.\n"
                "An audio sample that cannot be read ends that source's audio there and the\n"
                "run fails (exit 1, saying where); --skip-unreadable skips such samples.\n"
                "Sources that differ from the first in their video or audio format (see\n"
                "trelvan-cli check) are refused with the differences; --force joins them.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Positional().empty()) {
            return UsageFailure("avi-link takes at least one SRC");
        }
        ApplyCommonOptions(args);
        AviLinkJob job;
        job.sources = args.Positional();
        job.output = args.Value("-o").value_or(AviLinkDefaultOutput(job.sources.front()));
        const JoinReport join = CheckAviJoin(job.sources);
        if (RefuseUnlessClean(join, args.Has("--force"))) {
            return kExitOperationError;
        }

        OpContext ctx;
        CliRun run(ctx, args);
        run.SetProgressText(
            [&ctx] { return FormatProgress(AviLinkProgress(ctx, IsJapaneseSystem())).text; });
        SetUnreadableAudioPolicy(ctx, args.Has("--skip-unreadable"));
        // Entries without audio and audio that cannot be kept in step.
        ctx.warn = [](const std::string& text) {
            std::fprintf(stderr, "trelvan-cli: %s\n", text.c_str());
        };
        const AviLinkResult result = trelvan::RunAviLink(job, ctx);
        run.FinishProgress();
        if (result.audioTroubleSource >= 0) {
            ReportAudioTrouble(result.audioTrouble,
                               job.sources[static_cast<size_t>(result.audioTroubleSource)]);
        }
        if (result.code != 0) {
            PrintRunError(result.code, {job.sources, job.output, join.unreadable});
            return kExitOperationError;
        }
        if (run.Interrupted()) {
            return kExitStopped;
        }
        return VerifyIfAsked(args, kExitOk, job.output, LinkPlan(job.sources));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
