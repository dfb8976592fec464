#include <cstdio>

#include "CliCommon.h"
#include "CmdWmvRun.h"
#include "Commands.h"
#include "WmvJoinCheck.h"
#include "VerifyWritten.h"

namespace trelvan::cli {

// trelvan-cli wmv-link SRC... [-o OUT] [--force]: the WMV link page's work.
// Without -o the output is the first source's stem + "_link.wmv". Files that
// differ from the first (the WMV join check) are refused unless --force.
int RunWmvLink(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{kVerbose, "--force", kVerify}, {"-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli wmv-link SRC... [-o OUT] [--force] [--verbose] [--verify]\n"
                "Joins WMV/WMA files, in the order given, into one file without re-encoding:\n"
                "each source's samples follow the end of the sources before them, under the\n"
                "stream numbers they carry. The output takes the first source's streams,\n"
                "attributes and codec descriptions. Files whose streams differ from the\n"
                "first's in number, kind, codec or format (see trelvan-cli check) are\n"
                "refused with the differences; --force joins them.\n"
                "Default output: the first source's name with _link.wmv.\n"
                "--verbose prints the copy engine's diagnostic lines on standard error.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Positional().empty()) {
            return UsageFailure("wmv-link takes at least one SRC");
        }
        ApplyCommonOptions(args);
        WmvLinkJob job;
        job.sources = args.Positional();
        job.output = args.Value("-o").value_or(WmvLinkDefaultOutput(job.sources.front()));
        const JoinReport join = CheckWmvJoin(job.sources);
        if (RefuseUnlessClean(join, args.Has("--force"))) {
            return kExitOperationError;
        }
        WmvOpResult result;
        const int status = RunWmvCommand(
            args, WmvLinkProgress,
            [&job](OpContext& ctx) { return trelvan::RunWmvLink(job, ctx); },
            {job.sources, job.output, join.unreadable}, &result);
        return VerifyIfAsked(args, status, result.output, LinkPlan(job.sources));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
