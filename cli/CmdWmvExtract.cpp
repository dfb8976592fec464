#include <cstdint>
#include <cstdio>

#include "CliCommon.h"
#include "CmdWmvRun.h"
#include "Commands.h"
#include "VerifyWritten.h"

namespace trelvan::cli {
namespace {

constexpr uint64_t kUnitsPerMs = 10000;  // 100-ns units

// A time of the command line in 100-ns units; times past what 64 bits hold
// (hundreds of centuries) become the largest, which lies beyond any sample.
uint64_t RangeTime(const std::string& text) {
    const auto ms = static_cast<uint64_t>(ParseTimeMs(text));
    return ms > UINT64_MAX / kUnitsPerMs ? UINT64_MAX : ms * kUnitsPerMs;
}

}  // namespace

// trelvan-cli wmv-extract SRC [--start T] [--end T] [-o OUT]: the WMV
// extract page's work. Without --start the range starts at 0, without --end
// it has no end (it runs to the last sample, wherever the header's duration
// says the file ends), without -o the output is the source's stem +
// "_extr.wmv".
// The range is not cut at key frames, so the time of the first video key
// frame in the output is printed ("first key frame H:MM:SS.mmm"). --dry-run
// prints the plan (the same line, samples, bytes, duration) and writes
// nothing.
int RunWmvExtract(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{kVerbose, "--dry-run", kVerify}, {"--start", "--end", "-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli wmv-extract SRC [--start H:M:S.mmm] [--end H:M:S.mmm] "
                "[-o OUT] [--verbose] [--dry-run] [--verify]\n"
                "Copies a time range of a WMV/WMA file into a new file without re-encoding,\n"
                "with all the source's header data; the output starts at 0. The range is not\n"
                "moved to key frames: the first video sample written is the first one at or\n"
                "after the start, and the time of the first key frame in the output is\n"
                "printed (a range without one is warned about on standard error).\n"
                "Default range: the whole file; default output: the source's name with\n"
                "_extr.wmv. --verbose prints the copy engine's diagnostic lines.\n"
                "--dry-run reads the range and prints what would be written (the first key\n"
                "frame, samples, bytes, duration) without writing anything.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Positional().size() != 1) {
            return UsageFailure("wmv-extract takes exactly one SRC");
        }
        ApplyCommonOptions(args);
        WmvExtractJob job;
        job.source = args.Positional()[0];
        job.output = args.Value("-o").value_or(WmvExtractDefaultOutput(job.source));
        if (const auto start = args.Value("--start")) {
            job.start = RangeTime(*start);
        }
        // Only an explicit end bounds the range.
        job.end = UINT64_MAX;
        if (const auto end = args.Value("--end")) {
            job.end = RangeTime(*end);
        }

        if (args.Has("--dry-run")) {
            WmvExtractPlan plan;
            const int32_t planned = PlanWmvExtract(job, &plan);
            if (planned != 0) {
                PrintRunError(planned, {{job.source}, job.output});
                return kExitOperationError;
            }
            const auto ms = [](uint64_t units) {
                return FormatTimeMs(static_cast<int64_t>(units / kUnitsPerMs));
            };
            if (plan.firstKeyTime >= 0) {
                std::printf("first key frame %s\n",
                            ms(static_cast<uint64_t>(plan.firstKeyTime)).c_str());
            }
            std::printf("samples %llu\nbytes %llu\nduration %s\n",
                        static_cast<unsigned long long>(plan.samples),
                        static_cast<unsigned long long>(plan.bytes), ms(plan.duration).c_str());
            if (plan.hasVideo && plan.firstKeyTime < 0) {
                std::fprintf(stderr, "trelvan-cli: %s\n", WmvNoKeyFrameWarning().c_str());
            }
            return kExitOk;
        }

        WmvOpResult result;
        const int status = RunWmvCommand(
            args, WmvRangeProgress,
            [&job](OpContext& ctx) { return trelvan::RunWmvExtract(job, ctx); },
            {{job.source}, job.output}, &result);
        if (result.code == 0 && result.hasVideo) {
            if (result.firstKeyTime >= 0) {
                std::printf(
                    "first key frame %s\n",
                    FormatTimeMs(result.firstKeyTime / static_cast<int64_t>(kUnitsPerMs)).c_str());
            } else if (!args.Has(kVerbose)) {
                // (With --verbose the operation's own warning was printed.)
                std::fprintf(stderr, "trelvan-cli: %s\n", WmvNoKeyFrameWarning().c_str());
            }
        }
        constexpr double kUnitsPerSecond = 1e7;
        return VerifyIfAsked(args, status, result.output,
                             ExtractPlan(job.source, static_cast<double>(job.start) / kUnitsPerSecond,
                                         job.end == UINT64_MAX
                                             ? -1
                                             : static_cast<double>(job.end) / kUnitsPerSecond));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
