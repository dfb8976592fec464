#include <cstdio>

#include "CliCommon.h"
#include "Commands.h"

namespace trelvan::cli {

int RunMovSeparate(const std::vector<std::string>&) {
    std::fprintf(stderr, "trelvan-cli: mov-separate is not built yet\n");
    return kExitOperationError;
}

int RunMovUnite(const std::vector<std::string>&) {
    std::fprintf(stderr, "trelvan-cli: mov-unite is not built yet\n");
    return kExitOperationError;
}

}  // namespace trelvan::cli
