#include <cstdint>
#include <cstdio>

#include "CliCommon.h"
#include "Commands.h"
#include "Language.h"
#include "MovOperations.h"
#include "MovResult.h"
#include "VerifyWritten.h"

namespace trelvan::cli {
namespace {

constexpr uint64_t kUnitsPerMs = 10000;  // 100-ns units

// A time of the command line in 100-ns units; times past what 64 bits hold
// become the largest, which lies beyond any movie.
uint64_t RangeTime(const std::string& text) {
    const auto ms = static_cast<uint64_t>(ParseTimeMs(text));
    return ms > UINT64_MAX / kUnitsPerMs ? UINT64_MAX : ms * kUnitsPerMs;
}

// One line on standard error naming the file a failure is about: the
// output for the codes of writing, else the source.
void PrintFailure(const MovOpResult& result, const MovExtractJob& job, const std::string& output) {
    const bool writing = result.code == mov::kCantCreateSingleForkFile ||
                         result.code == mov::kDataNotOpenForWrite;
    std::fprintf(stderr, "trelvan-cli: %s\n",
                 MovOpErrorText(result, writing ? output : job.source, IsJapaneseSystem()).c_str());
}

}  // namespace

// trelvan-cli mov-extract SRC [--start T] [--end T] [-o OUT] [--keyframe-start]
// [--dry-run] [--verify]: the MOV extract page's work. Without --start the
// range starts at 0, without --end it runs to the end of the movie, without
// -o the output is the source's stem + "_extr" + its own extension.
int RunMovExtract(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(
            words, {{"--keyframe-start", "--dry-run", kVerify}, {"--start", "--end", "-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli mov-extract SRC [--start H:M:S.mmm] [--end H:M:S.mmm] "
                "[-o OUT] [--keyframe-start] [--dry-run] [--verify]\n"
                "Copies a time range of a QuickTime/MP4 movie (fragmented too) into a\n"
                "self-contained movie without re-encoding. Video is stored from the key frame\n"
                "the range's frames decode from (the frames before the first shown one last\n"
                "a moment each); an edit list makes the output start exactly at the first\n"
                "frame at or after the start and end at the end. Sound keeps whole packets\n"
                "from the pre-roll its decoder needs before the start (MP3: the frames the\n"
                "first one borrows from; Opus: 80 ms; AAC and others: one packet) and is\n"
                "trimmed by its edit; PCM is cut to the frame.\n"
                "Default range: the whole movie; default output: the source's name with\n"
                "_extr and its own extension.\n"
                "--keyframe-start starts the presentation at that key frame instead (for\n"
                "players that ignore edit lists).\n"
                "--dry-run prints what would be written (first stored sample, first presented\n"
                "frame, end, duration, samples, bytes) without writing anything.\n"
                "--verify reads the output back and checks it against the source (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Positional().size() != 1) {
            return UsageFailure("mov-extract takes exactly one SRC");
        }
        ApplyCommonOptions(args);
        MovExtractJob job;
        job.source = args.Positional()[0];
        job.output = args.Value("-o").value_or(MovExtractDefaultOutput(job.source));
        job.keyframeStart = args.Has("--keyframe-start");
        if (const auto start = args.Value("--start")) {
            job.start = RangeTime(*start);
        }
        if (const auto end = args.Value("--end")) {
            job.end = RangeTime(*end);
        }
        const auto warn = [](const std::string& text) {
            std::fprintf(stderr, "trelvan-cli: %s\n", text.c_str());
        };

        if (args.Has("--dry-run")) {
            MovExtractPlan plan;
            const int32_t planned = PlanMovExtract(job, &plan, DiskFileOpener(), warn);
            if (planned != 0) {
                MovOpResult failed;
                failed.code = planned;
                PrintFailure(failed, job, job.output);
                return kExitOperationError;
            }
            std::fputs(FormatMovExtractPlan(plan, IsJapaneseSystem()).c_str(), stdout);
            return kExitOk;
        }

        OpContext ctx;
        ctx.warn = warn;
        CliRun run(ctx, args);
        run.SetProgressText(
            [&ctx] { return FormatProgress(MovRangeProgress(ctx, IsJapaneseSystem())).text; });
        const MovOpResult result = trelvan::RunMovExtract(job, ctx);
        run.FinishProgress();
        if (result.stopped || run.Interrupted()) {
            return kExitStopped;
        }
        if (result.code != 0) {
            PrintFailure(result, job, result.output);
            return kExitOperationError;
        }
        return VerifyIfAsked(args, kExitOk, result.output,
                             verify::MovieExtractPlan(job.source, job.start, job.end));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
