// trelvan-cli: the command-line front end. It runs the same operations as the
// desktop program.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "CliCommon.h"
#include "Commands.h"
#include "ProcessLimits.h"

#ifndef TRELVAN_VERSION
#define TRELVAN_VERSION "0.0.0"
#endif

namespace {

using trelvan::cli::Command;

const Command kCommands[] = {
    {"error", "error CODE", "show the message of an error code as the error box shows it",
     trelvan::cli::RunError},
    {"info", "info FILE [--human]",
     "show the streams the readers select (AVI, WAV), an ASF file's streams and attributes, or a movie's tracks",
     trelvan::cli::RunInfo},
    {"audio-extract", "audio-extract SRC [--start T] [--end T] [-o OUT]",
     "copy a time range of the audio of a WAV or AVI file into a WAV file",
     trelvan::cli::RunAudioExtract},
    {"avi-extract", "avi-extract SRC [--start T] [--end T] [-o OUT]",
     "copy a time range of an AVI file, from a key frame on, into an AVI file",
     trelvan::cli::RunAviExtract},
    {"audio-link", "audio-link SRC... [-o OUT] [--force]",
     "join the audio of WAV or AVI files into one WAV file", trelvan::cli::RunAudioLink},
    {"avi-link", "avi-link SRC... [-o OUT] [--force]", "join AVI files into one AVI file",
     trelvan::cli::RunAviLink},
    {"avi-separate", "avi-separate --video|--audio SRC [-o OUT]",
     "write the video of an AVI file to an AVI file, or its audio to a WAV file",
     trelvan::cli::RunAviSeparate},
    {"avi-unite", "avi-unite VIDEO AUDIO [-o OUT]",
     "put the video of one AVI file and the audio of another file into one AVI file",
     trelvan::cli::RunAviUnite},
    {"check", "check SRC... [--human]",
     "tell whether files join cleanly: what differs from the first, as JSON or text",
     trelvan::cli::RunCheck},
    {"wmv-separate", "wmv-separate --video|--audio SRC [-o OUT]",
     "copy the video of a WMV file into a WMV file, or its audio into a WMA file",
     trelvan::cli::RunWmvSeparate},
    {"wmv-unite", "wmv-unite VIDEO AUDIO [-o OUT]",
     "put the video of one WMV file and the audio of another into one WMV file",
     trelvan::cli::RunWmvUnite},
    {"wmv-link", "wmv-link SRC... [-o OUT] [--force]", "join WMV/WMA files into one file",
     trelvan::cli::RunWmvLink},
    {"wmv-extract", "wmv-extract SRC [--start T] [--end T] [-o OUT]",
     "copy a time range of a WMV/WMA file into a new file (not cut at key frames)",
     trelvan::cli::RunWmvExtract},
    {"mov-separate", "mov-separate --video|--audio SRC [-o OUT]",
     "copy the video tracks or the sound tracks of a movie into a movie of their own",
     trelvan::cli::RunMovSeparate},
    {"mov-unite", "mov-unite VIDEO AUDIO [-o OUT]",
     "put the video of one movie and the sound of another into one movie",
     trelvan::cli::RunMovUnite},
    {"mov-link", "mov-link SRC... [-o OUT]", "join QuickTime/MP4 movies into one MOV file",
     trelvan::cli::RunMovLink},
    {"mov-extract", "mov-extract SRC [--start T] [--end T] [-o OUT] [--keyframe-start]",
     "copy a time range of a movie, shown from the exact frame, into a movie",
     trelvan::cli::RunMovExtract},
    {"verify", "verify OUT [--against SRC...] [--human]",
     "check that a written file's headers, indexes and samples agree (and match its sources)",
     trelvan::cli::RunVerify},
};

void PrintHelp() {
    std::printf(
        "usage: trelvan-cli COMMAND [ARGS...] [--lang en|ja] [--quiet]\n"
        "\n"
        "Cuts and joins AVI, WAV, WMV/WMA and MOV files without re-encoding.\n"
        "\n"
        "Commands:\n");
    for (const Command& c : kCommands) {
        std::printf("  %-44s %s\n", c.usage, c.summary);
    }
    std::printf(
        "\n"
        "Options (before or after the file arguments):\n"
        "  --lang en|ja   messages in English or Japanese (default: the system language)\n"
        "  --quiet        no progress line on standard error\n"
        "  --verbose      (wmv-* commands) the copy engine's diagnostic lines on standard error\n"
        "  --verify       (commands that write) read the output back and check it against\n"
        "                 the sources; exit 1 with the first difference\n"
        "  --help         this text (or a command's own with COMMAND --help)\n"
        "  --version      the program version\n"
        "\n"
        "Exit status: 0 success, 1 the operation failed (its error code is printed),\n"
        "2 usage error, 3 stopped by the user (Ctrl-C).\n");
}

}  // namespace

int main(int argc, char** argv) {
    trelvan::RaiseOpenFileLimit();
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        PrintHelp();
        return words.empty() ? trelvan::cli::kExitUsage : trelvan::cli::kExitOk;
    }
    if (words[0] == "--version") {
        std::printf("trelvan-cli %s\n", TRELVAN_VERSION);
        return trelvan::cli::kExitOk;
    }
    // Common options may also stand before the command name; they are handed
    // on to the command.
    std::vector<std::string> leading;
    size_t at = 0;
    while (at < words.size()) {
        if (words[at] == "--quiet" || words[at].rfind("--lang=", 0) == 0) {
            leading.push_back(words[at++]);
        } else if (words[at] == "--lang" && at + 1 < words.size()) {
            leading.push_back(words[at++]);
            leading.push_back(words[at++]);
        } else {
            break;
        }
    }
    if (at == words.size()) {
        return trelvan::cli::UsageFailure("no command given");
    }
    for (const Command& c : kCommands) {
        if (words[at] == c.name) {
            std::vector<std::string> rest(words.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                                          words.end());
            rest.insert(rest.end(), leading.begin(), leading.end());
            return c.run(rest);
        }
    }
    return trelvan::cli::UsageFailure("unknown command \"" + words[at] + "\"");
}
