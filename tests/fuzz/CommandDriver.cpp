#include "CommandDriver.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "Commands.h"

namespace trelvan::fuzz {
namespace {

namespace fs = std::filesystem;

using Words = std::vector<std::string>;

std::vector<uint8_t> Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const std::string& path, std::span<const uint8_t> bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<Words> Commands(const char* link, const char* extract) {
    return {
        {"info", "BAD"},
        {"check", "BAD", "PARTNER", "--human"},
        {link, "BAD", "PARTNER", "-o", "OUT", "--force", "--verify", "--quiet"},
        {"verify", "OUT", "--against", "BAD", "PARTNER"},
        {link, "PARTNER", "BAD", "-o", "OUT", "--force", "--verify", "--quiet"},
        {link, "BAD", "BAD", "-o", "OUT", "--force", "--quiet"},
        {"verify", "BAD", "--human"},
        {extract, "BAD", "--start", "0.2", "--end", "0.4", "-o", "OUT", "--verify", "--quiet"},
    };
}

}  // namespace

const char* Extension(Family family) {
    switch (family) {
        case Family::Avi:
            return ".avi";
        case Family::Wav:
            return ".wav";
        case Family::Asf:
            return ".wmv";
        case Family::Movie:
            return ".mov";
    }
    return "";
}

const std::vector<Words>& OperationCommands(Family family) {
    static const std::map<Family, std::vector<Words>> kCommands = {
        {Family::Avi, Commands("avi-link", "avi-extract")},
        {Family::Wav, Commands("audio-link", "audio-extract")},
        {Family::Asf, Commands("wmv-link", "wmv-extract")},
        {Family::Movie, Commands("mov-link", "mov-extract")},
    };
    return kCommands.at(family);
}

std::string RunCommandsOn(Family family, std::span<const uint8_t> input, const std::string& partner,
                          const std::string& dir) {
    static const std::map<std::string, int (*)(const Words&)> kRun = {
        {"info", cli::RunInfo},
        {"check", cli::RunCheck},
        {"verify", cli::RunVerify},
        {"avi-link", cli::RunAviLink},
        {"audio-link", cli::RunAudioLink},
        {"wmv-link", cli::RunWmvLink},
        {"avi-extract", cli::RunAviExtract},
        {"audio-extract", cli::RunAudioExtract},
        {"wmv-extract", cli::RunWmvExtract},
        {"mov-extract", cli::RunMovExtract},
        {"avi-extract", cli::RunAviExtract},
        {"audio-extract", cli::RunAudioExtract},
        {"wmv-extract", cli::RunWmvExtract},
        {"mov-extract", cli::RunMovExtract},
        {"mov-link", cli::RunMovLink},
    };
    const std::string ext = Extension(family);
    const std::string bad = dir + "/bad" + ext;
    const std::string out = dir + "/out" + ext;
    Write(bad, input);
    const std::vector<uint8_t> partnerBytes = Contents(partner);
    // The output and whatever a failed run left beside it.
    const auto removeOutputs = [&dir] {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            if (e.path().stem() == "out") {
                fs::remove(e.path(), ec);
            }
        }
    };
    std::string trouble;
    for (const Words& command : OperationCommands(family)) {
        Words words;
        for (auto w = command.begin() + 1; w != command.end(); ++w) {
            words.push_back(*w == "BAD" ? bad : *w == "PARTNER" ? partner : *w == "OUT" ? out : *w);
        }
        const int status = kRun.at(command.front())(words);
        if (status != 0 && status != 1) {
            trouble += command.front() + " ended with " + std::to_string(status) + "\n";
        }
        // What a command wrote and called finished, the program reads.
        if (status == 0 && std::ranges::count(command, "OUT") > 0 && command.front() != "verify" &&
            cli::RunInfo({out}) != 0) {
            trouble += command.front() + " wrote an output that does not read back\n";
        }
        if (status != 0) {
            removeOutputs();  // not verified: only a finished output is
        }
    }
    removeOutputs();
    if (!std::ranges::equal(input, Contents(bad))) {
        trouble += "the damaged source was changed\n";
    }
    if (Contents(partner) != partnerBytes) {
        trouble += "the undamaged source was changed\n";
    }
    return trouble;
}

}  // namespace trelvan::fuzz
