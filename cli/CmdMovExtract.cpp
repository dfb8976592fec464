#include <cstdio>

#include "CliCommon.h"
#include "Commands.h"

namespace trelvan::cli {

int RunMovExtract(const std::vector<std::string>&) {
    std::fprintf(stderr, "trelvan-cli: mov-extract is not built yet\n");
    return kExitOperationError;
}

}  // namespace trelvan::cli
