#pragma once

#include <string>
#include <vector>

// The subcommands of trelvan-cli. Each takes the words after its name and
// returns the process exit status.
namespace trelvan::cli {

struct Command {
    const char* name;
    const char* usage;    // one line, after "trelvan-cli "
    const char* summary;  // what it does
    int (*run)(const std::vector<std::string>& words);
};

int RunError(const std::vector<std::string>& words);
int RunInfo(const std::vector<std::string>& words);
int RunAudioExtract(const std::vector<std::string>& words);
int RunAviExtract(const std::vector<std::string>& words);
int RunAudioLink(const std::vector<std::string>& words);
int RunAviLink(const std::vector<std::string>& words);
int RunAviSeparate(const std::vector<std::string>& words);
int RunAviUnite(const std::vector<std::string>& words);
int RunCheck(const std::vector<std::string>& words);
int RunMovLink(const std::vector<std::string>& words);
int RunMovSeparate(const std::vector<std::string>& words);
int RunMovUnite(const std::vector<std::string>& words);
int RunMovExtract(const std::vector<std::string>& words);
int RunWmvSeparate(const std::vector<std::string>& words);
int RunWmvUnite(const std::vector<std::string>& words);
int RunWmvLink(const std::vector<std::string>& words);
int RunWmvExtract(const std::vector<std::string>& words);
int RunVerify(const std::vector<std::string>& words);

}  // namespace trelvan::cli
