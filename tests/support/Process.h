#pragma once

#include <string>
#include <vector>

namespace trelvan::test {

struct CommandResult {
    int exit_code = -1;    // the process's exit status, or 128 + signal
    bool signaled = false; // ended by a signal (a crash, or the timeout)
    std::string out;       // standard output, bytes as written
    std::string err;       // standard error
};

// Runs a program (looked up in PATH) with the given arguments and no standard
// input. A positive timeout kills it after that many seconds.
CommandResult RunCommand(const std::vector<std::string>& argv, int timeout_seconds = 120,
                         const std::vector<std::string>& extra_env = {});

// Path of a program built by this project (build/bin/NAME).
std::string BuiltProgram(const std::string& name);

}  // namespace trelvan::test
