#include <cstdio>

#include "AudioExtract.h"
#include "CliCommon.h"
#include "Commands.h"
#include "Language.h"
#include "OutputNames.h"
#include "ProgressText.h"
#include "VerifyWritten.h"

namespace trelvan::cli {

// trelvan-cli audio-extract SRC [--start T] [--end T] [-o OUT]: the audio
// extract page's work. Without --start the range starts at 0, without --end
// it runs to the end of the audio, without -o the output is the source's
// stem + "_extr.wav".
int RunAudioExtract(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{kVerify}, {"--start", "--end", "-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli audio-extract SRC [--start H:M:S.mmm] [--end H:M:S.mmm] "
                "[-o OUT] [--verify]\n"
                "Copies a time range of the audio of a WAV or AVI file into a WAV file in the\n"
                "source's own format, byte for byte. Default range: the whole audio; default\n"
                "output: the source's name with _extr.wav.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Positional().size() != 1) {
            return UsageFailure("audio-extract takes exactly one SRC");
        }
        ApplyCommonOptions(args);
        AudioExtractJob job;
        job.source = args.Positional()[0];
        job.output = args.Value("-o").value_or(DefaultOutputName(job.source, "_extr", ".wav"));
        if (auto start = args.Value("--start")) {
            job.start = AudioTime::FromMs(ParseTimeMs(*start));
        }
        if (auto end = args.Value("--end")) {
            job.end = AudioTime::FromMs(ParseTimeMs(*end));
        } else {
            AudioTime length;
            const int32_t code = ReadAudioDuration(job.source, &length);
            if (code != 0) {
                PrintRunError(code, {{job.source}, job.output});
                return kExitOperationError;
            }
            // One millisecond past the truncated length reaches the last
            // sample; the copy ends at the end of the stream.
            const int64_t ms = ((length.hours * 60 + length.minutes) * 60 + length.seconds) * 1000 +
                               length.milliseconds + 1;
            job.end = AudioTime::FromMs(ms);
        }

        OpContext ctx;
        CliRun run(ctx, args);
        run.SetProgressText([&ctx] {
            ProgressInput in;
            in.form = ProgressForm::Range;
            in.elapsedMs = ctx.timer.GetTotal();
            in.first = static_cast<uint32_t>(ctx.first.load());
            in.current = static_cast<uint32_t>(ctx.current.load());
            in.last = static_cast<uint32_t>(ctx.last.load());
            in.japanese = IsJapaneseSystem();
            return FormatProgress(in).text;
        });
        const AudioExtractResult result = trelvan::RunAudioExtract(job, ctx);
        run.FinishProgress();
        if (result.code != 0) {
            PrintRunError(result.code, {{job.source}, job.output});
            return kExitOperationError;
        }
        if (run.Interrupted()) {
            return kExitStopped;
        }
        return VerifyIfAsked(args, kExitOk, job.output, AudioExtractPlan(job.source));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
