#include <cstdio>

#include "CliCommon.h"
#include "Commands.h"
#include "ErrorText.h"

namespace trelvan::cli {

// trelvan-cli error CODE: shows the error box of a code as text.
int RunError(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf("usage: trelvan-cli error CODE [--lang en|ja]\n");
            return kExitOk;
        }
        if (args.Positional().size() != 1) {
            return UsageFailure("error takes exactly one CODE");
        }
        const int32_t code = ParseInt32(args.Positional()[0], "CODE");
        ApplyCommonOptions(args);
        const ErrorMessage msg = ComposeErrorMessage(code);
        if (msg.show) {
            std::printf("%s\n%s\n", msg.caption.c_str(), msg.text.c_str());
        }
        return kExitOk;
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
