// libFuzzer target for the command line's argument and time parsing. The
// input is split at NUL bytes into words (as argv would give them); they are
// parsed with the option table of a typical subcommand, and each word is
// also read as a time and as a number. A time that parses must come back
// unchanged through FormatTimeMs; anything else must end in UsageError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "CliArgs.h"

namespace cli = trelvan::cli;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words;
    std::string word;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    words.push_back(word);

    try {
        const cli::ParsedArgs args =
            cli::ParseArgs(words, {{"--force", "--audio-only"}, {"-o", "--from", "--to"}});
        for (const char* opt : {"--from", "--to", "-o", "--lang"}) {
            (void)args.Value(opt);
        }
    } catch (const cli::UsageError&) {
    }

    for (const std::string& w : words) {
        try {
            const int64_t ms = cli::ParseTimeMs(w);
            if (ms < 0 || cli::ParseTimeMs(cli::FormatTimeMs(ms)) != ms) {
                std::abort();
            }
        } catch (const cli::UsageError&) {
        }
        try {
            (void)cli::ParseInt32(w, "count");
        } catch (const cli::UsageError&) {
        }
    }
    if (size >= 8) {
        int64_t v = 0;
        for (int k = 0; k < 8; ++k) {
            v = static_cast<int64_t>(static_cast<uint64_t>(v) << 8 | data[k]);
        }
        (void)cli::FormatTimeMs(v);
    }
    return 0;
}
