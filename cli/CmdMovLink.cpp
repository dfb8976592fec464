#include <cstdio>
#include <set>

#include "CliCommon.h"
#include "Commands.h"
#include "Language.h"
#include "MovJoinCheck.h"
#include "MovLink.h"
#include "VerifyWritten.h"

namespace trelvan::cli {

// trelvan-cli mov-link SRC... [-o OUT] [--force]: the MOV link page's work. Without
// -o the output is the first source's stem + "_link.mov". A failure prints
// one line on standard error in the user's language: the file, what failed
// and the movie result code (the page keeps its own Japanese messages).
int RunMovLink(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{"--force", kVerify}, {"-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli mov-link SRC... [-o OUT] [--force] [--verify]\n"
                "Joins QuickTime/MP4 movies, in the order given, into one self-contained MOV\n"
                "file without re-encoding: each later movie is pasted at the end of the\n"
                "first; the first movie's time scale, metadata and track settings lead.\n"
                "Default output: the first source's name with _link.mov.\n"
                "Movies whose tracks would not join into one track each, or that would make\n"
                "a track change its sample description midway (see trelvan-cli check), are\n"
                "refused with the differences; --force joins them.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Positional().empty()) {
            return UsageFailure("mov-link takes at least one SRC");
        }
        ApplyCommonOptions(args);
        MovLinkJob job;
        job.sources = args.Positional();
        job.output = args.Value("-o").value_or(MovLinkDefaultOutput(job.sources.front()));

        // Damage a source was read around, on standard error, once (the
        // check and the link read the same sources).
        std::set<std::string> warned;
        const auto warn = [&warned](const std::string& text) {
            if (warned.insert(text).second) {
                std::fprintf(stderr, "trelvan-cli: %s\n", text.c_str());
            }
        };
        if (RefuseUnlessClean(CheckMovieJoin(job.sources, DiskFileOpener(), warn),
                              args.Has("--force"))) {
            return kExitOperationError;
        }

        OpContext ctx;
        ctx.warn = warn;
        CliRun run(ctx, args);
        run.SetProgressText(
            [&ctx] { return FormatProgress(MovLinkProgress(ctx, IsJapaneseSystem())).text; });
        const MovLinkResult result = trelvan::RunMovLink(job, ctx);
        run.FinishProgress();
        if (!result.message.empty()) {
            std::fprintf(stderr, "trelvan-cli: %s\n",
                         MovLinkErrorText(result, IsJapaneseSystem()).c_str());
            return kExitOperationError;
        }
        if (result.code != 0) {
            PrintRunError(result.code, {job.sources, job.output});
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
