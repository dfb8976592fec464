#include "Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace trelvan::test {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, int timeout_seconds,
                         const std::vector<std::string>& extra_env) {
    std::vector<std::string> full;
    if (timeout_seconds > 0) {
        full = {"timeout", "--signal=KILL", std::to_string(timeout_seconds)};
    }
    full.insert(full.end(), argv.begin(), argv.end());

    char out_tmpl[] = "/tmp/trelvan-run-out-XXXXXX";
    char err_tmpl[] = "/tmp/trelvan-run-err-XXXXXX";
    const int out_fd = mkstemp(out_tmpl);
    const int err_fd = mkstemp(err_tmpl);
    if (out_fd < 0 || err_fd < 0) {
        throw std::runtime_error("cannot make temporary files");
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
    posix_spawn_file_actions_adddup2(&actions, err_fd, 2);

    std::vector<char*> args;
    for (auto& a : full) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);

    // The extra variables replace inherited ones of the same name.
    std::vector<std::string> env_store(extra_env.begin(), extra_env.end());
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string var(*e);
        const std::string name = var.substr(0, var.find('=') + 1);
        bool replaced = false;
        for (const auto& x : extra_env) {
            replaced = replaced || x.rfind(name, 0) == 0;
        }
        if (!replaced) {
            env_store.push_back(var);
        }
    }
    std::vector<char*> envp;
    for (auto& e : env_store) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    pid_t pid = 0;
    CommandResult result;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out_fd);
    close(err_fd);
    if (rc != 0) {
        unlink(out_tmpl);
        unlink(err_tmpl);
        result.err = "cannot start " + full[0];
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status)) {
        result.exit_code = WEXITSTATUS(status);
        // timeout(1) reports a killed child as 128 + 9.
        result.signaled = timeout_seconds > 0 && result.exit_code == 137;
    } else if (WIFSIGNALED(status)) {
        result.signaled = true;
        result.exit_code = 128 + WTERMSIG(status);
    }
    result.out = Slurp(out_tmpl);
    result.err = Slurp(err_tmpl);
    unlink(out_tmpl);
    unlink(err_tmpl);
    return result;
}

std::string BuiltProgram(const std::string& name) { return std::string(TRELVAN_BIN_DIR) + "/" + name; }

}  // namespace trelvan::test
