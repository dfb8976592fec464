#include "VerifyWritten.h"

#include <cstdio>

#include "CliCommon.h"

namespace trelvan::cli {

int VerifyIfAsked(const ParsedArgs& args, int status, const std::string& output,
                  const OutputPlan& plan) {
    if (status != kExitOk || !args.Has(kVerify)) {
        return status;
    }
    const verify::VerifyReport report = VerifyOutputPlan(output, plan);
    if (!report.Ok()) {
        std::fprintf(stderr, "trelvan-cli: verify: %s", report.Text().c_str());
        return kExitOperationError;
    }
    if (!args.Has("--quiet")) {
        std::fprintf(stderr, "trelvan-cli: verify: %s", report.Text().c_str());
    }
    return status;
}

}  // namespace trelvan::cli
