#include "OutputNames.h"

#include <sys/stat.h>
#include <unistd.h>

namespace trelvan {

std::string FileExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    return path.substr(dot);
}

std::string FileStem(const std::string& path) {
    return path.substr(0, path.size() - FileExtension(path).size());
}

std::string DefaultOutputName(const std::string& source, const std::string& suffix,
                              const std::string& ext) {
    return FileStem(source) + suffix + ext;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int RemoveExistingFile(const std::string& path) {
    if (path.empty()) {
        return 0;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return 0;  // nothing there
    }
    // Read-only files go too: on this system a file's own write bit does
    // not guard its deletion, the folder's does; the bit is cleared anyway
    // so the deletion behaves the same wherever it does.
    if (S_ISREG(st.st_mode)) {
        ::chmod(path.c_str(), st.st_mode | S_IWUSR | S_IRUSR);
    }
    return ::unlink(path.c_str()) == 0 ? 0 : 1;
}

}  // namespace trelvan
