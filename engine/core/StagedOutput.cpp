#include "StagedOutput.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

namespace trelvan {

namespace {

// The process's file creation mask, read without changing it.
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    return 022;
}

// The extension of the file name ("" when it has none).
std::string NameExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot + 1 == path.size()) {
        return {};
    }
    return path.substr(dot);
}

}  // namespace

std::string MakeTemporaryBeside(const std::string& output, const std::string& ending,
                                int* error_out) {
    const auto slash = output.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : output.substr(0, slash);
    std::string base = slash == std::string::npos ? output : output.substr(slash + 1);
    if (base.size() > 200) {
        base.resize(200);  // room for the decoration within a file name's limit
    }
    std::string name = dir + "/." + base + ".XXXXXX" + ending;
    const int fd = ::mkstemps(name.data(), static_cast<int>(ending.size()));
    if (fd < 0) {
        if (error_out != nullptr) {
            *error_out = errno;
        }
        return {};
    }
    // The name was made private (0600); the file gets the permissions a new
    // file gets, since it becomes the output.
    ::fchmod(fd, 0666 & ~CurrentUmask());
    ::close(fd);
    return name;
}

StagedOutput::StagedOutput(std::string output) : m_output(std::move(output)) {
    if (m_output.empty()) {
        m_error = ENOENT;
        return;
    }
    struct stat st {};
    if (::stat(m_output.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        m_error = EISDIR;  // a folder is never replaced by a file
        return;
    }
    const std::string ext = NameExtension(m_output);
    m_temp = MakeTemporaryBeside(m_output, ext.size() > 16 ? std::string() : ext, &m_error);
}

StagedOutput::~StagedOutput() {
    Discard();
}

bool StagedOutput::Commit() {
    if (m_temp.empty()) {
        return false;
    }
    if (std::rename(m_temp.c_str(), m_output.c_str()) != 0) {
        m_error = errno;
        Discard();
        return false;
    }
    m_temp.clear();
    return true;
}

void StagedOutput::Discard() {
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

}  // namespace trelvan
