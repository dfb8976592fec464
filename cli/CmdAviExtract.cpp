#include <algorithm>
#include <cstdio>

#include "AviExtract.h"
#include "CliCommon.h"
#include "Commands.h"
#include "Language.h"
#include "OutputNames.h"
#include "ProgressText.h"
#include "VerifyWritten.h"

namespace trelvan::cli {

// trelvan-cli avi-extract SRC [--start T] [--end T] [-o OUT]: the AVI extract
// page's work. Without --start the range starts at the first frame, without
// --end it runs to the last frame, without -o the output is the source's
// stem + "_extr.avi". The start moves forward to a key frame; the start
// really used is printed ("start H:MM:SS.mmm"), as the page rewrites its
// start fields.
int RunAviExtract(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{"--skip-unreadable", "--dry-run", kVerify}, {"--start", "--end", "-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli avi-extract SRC [--start H:M:S.mmm] [--end H:M:S.mmm] "
                "[-o OUT] [--skip-unreadable] [--dry-run] [--verify]\n"
                "Copies a time range of an AVI file into an AVI file without recompressing:\n"
                "the video from the first key frame at or after the start up to the end, then\n"
                "the audio of the same span. Prints the start actually used. Default range:\n"
                "the whole file; default output: the source's name with _extr.avi.\n"
                "An audio sample that cannot be read ends the audio there and the run fails\n"
                "(exit 1, saying where); --skip-unreadable skips such samples and counts them.\n"
                "--dry-run prints what would be written (the key frame the start moves to,\n"
                "the end, the duration) and writes nothing. A range without a key frame is\n"
                "warned about on standard error.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Positional().size() != 1) {
            return UsageFailure("avi-extract takes exactly one SRC");
        }
        ApplyCommonOptions(args);
        AviExtractJob job;
        job.source = args.Positional()[0];
        job.output = args.Value("-o").value_or(DefaultOutputName(job.source, "_extr", ".avi"));
        const auto start = args.Value("--start");
        const auto end = args.Value("--end");
        if (start) {
            job.start = AviTime::FromMs(ParseTimeMs(*start));
        }
        if (end) {
            job.end = AviTime::FromMs(ParseTimeMs(*end));
        }
        // What loading the source gives the page: its rate, and the range
        // fields that were not given.
        AviRange range;
        const int32_t code = ReadAviRange(job.source, &range);
        if (code != 0) {
            PrintRunError(code, {{job.source}, job.output});
            return kExitOperationError;
        }
        job.rate = range.rate;
        if (!start) {
            job.start = range.start;
        }
        if (!end) {
            job.end = range.end;
        }

        if (args.Has("--dry-run")) {
            AviExtractPlan plan;
            const int32_t planned = PlanAviExtract(job, &plan);
            if (planned != 0) {
                PrintRunError(planned, {{job.source}, job.output});
                return kExitOperationError;
            }
            std::printf("start %s (frame %d%s)\nend %s (after frame %d)\nframes %d\nduration %s\n",
                        FormatTimeMs(plan.start.ToMs()).c_str(), plan.startFrame,
                        plan.keyFound ? ", a key frame"
                                      : ", the key frame before the range, which holds none",
                        FormatTimeMs(plan.end.ToMs()).c_str(), plan.endFrame,
                        std::max(plan.endFrame - plan.startFrame + 1, 0),
                        FormatTimeMs(plan.durationMs).c_str());
            if (!plan.keyFound) {
                std::fprintf(stderr, "trelvan-cli: %s\n", NoKeyFrameWarning(plan.start).c_str());
            }
            return kExitOk;
        }

        OpContext ctx;
        CliRun run(ctx, args);
        run.SetProgressText(
            [&ctx] { return FormatProgress(AviExtractProgress(ctx, IsJapaneseSystem())).text; });
        SetUnreadableAudioPolicy(ctx, args.Has("--skip-unreadable"));
        ctx.warn = [](const std::string& text) {
            std::fprintf(stderr, "trelvan-cli: %s\n", text.c_str());
        };
        // Printed when the start is known, before the copy begins.
        const AviExtractResult result =
            trelvan::RunAviExtract(job, ctx, {}, [](const AviTime& used) {
                std::printf("start %s\n", FormatTimeMs(used.ToMs()).c_str());
                std::fflush(stdout);
            });
        run.FinishProgress();
        ReportAudioTrouble(result.audioTrouble, job.source);
        if (result.code != 0) {
            PrintRunError(result.code, {{job.source}, job.output});
            return kExitOperationError;
        }
        if (run.Interrupted()) {
            return kExitStopped;
        }
        // Without --end the range runs to the end of the source's data.
        return VerifyIfAsked(args, kExitOk, job.output,
                             ExtractPlan(job.source, static_cast<double>(job.start.ToMs()) / 1000,
                                         end ? static_cast<double>(job.end.ToMs()) / 1000 : -1));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
