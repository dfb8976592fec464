#include "VerifyWritten.h"

#include <cstdio>

#include "CliCommon.h"

namespace trelvan::cli {

int VerifyIfAsked(const ParsedArgs& args, int status, const std::string& output,
                  const OutputPlan& plan) {
    const bool asked = args.Has(kVerify);
    if (status != kExitOk || !(asked || verify::VerifyEveryOutput(output))) {
        return status;
    }
    const verify::VerifyReport report = VerifyOutputPlan(output, plan);
    if (!report.Ok()) {
        std::fprintf(stderr, "trelvan-cli: verify: %s", report.Text().c_str());
        return kExitOperationError;
    }
    if (asked && !args.Has("--quiet")) {
        std::fprintf(stderr, "trelvan-cli: verify: %s", report.Text().c_str());
    }
    return status;
}

}  // namespace trelvan::cli
