#include "IoFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace trelvan {
namespace {

class DiskFile : public IoFile {
public:
    explicit DiskFile(int fd) : m_fd(fd) {}
    ~DiskFile() override { Close(); }

    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        auto* p = static_cast<uint8_t*>(buf);
        size_t done = 0;
        while (done < n) {
            const ssize_t r = ::pread(m_fd, p + done, n - done, static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return -1;
            }
            if (r == 0) {
                break;
            }
            done += static_cast<size_t>(r);
        }
        return static_cast<int64_t>(done);
    }

    bool WriteAt(uint64_t offset, const void* buf, size_t n) override {
        const auto* p = static_cast<const uint8_t*>(buf);
        size_t done = 0;
        while (done < n) {
            const ssize_t r = ::pwrite(m_fd, p + done, n - done, static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            if (r == 0) {
                return false;
            }
            done += static_cast<size_t>(r);
        }
        return true;
    }

    int64_t Size() override {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) {
            return -1;
        }
        return static_cast<int64_t>(st.st_size);
    }

    bool Truncate(uint64_t size) override { return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0; }

    bool Close() override {
        if (m_fd < 0) {
            return true;
        }
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0;
    }

private:
    int m_fd;
};

}  // namespace

std::unique_ptr<IoFile> OpenDiskFile(const std::string& path, OpenMode mode, int* error_out) {
    int flags = O_CLOEXEC;
    if (mode == OpenMode::Read) {
        flags |= O_RDONLY;
    } else {
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    }
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        if (error_out != nullptr) {
            *error_out = errno;
        }
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (error_out != nullptr) {
            *error_out = EISDIR;
        }
        return nullptr;
    }
    return std::make_unique<DiskFile>(fd);
}

FileOpener DiskFileOpener() {
    return [](const std::string& path, OpenMode mode) { return OpenDiskFile(path, mode); };
}

int64_t MemFile::ReadAt(uint64_t offset, void* buf, size_t n) {
    if (offset >= m_bytes.size()) {
        return 0;
    }
    const size_t k = std::min<uint64_t>(n, m_bytes.size() - offset);
    std::memcpy(buf, m_bytes.data() + offset, k);
    return static_cast<int64_t>(k);
}

bool MemFile::WriteAt(uint64_t offset, const void* buf, size_t n) {
    if (offset + n > m_bytes.size()) {
        m_bytes.resize(offset + n);
    }
    if (n > 0) {
        std::memcpy(m_bytes.data() + offset, buf, n);
    }
    return true;
}

bool MemFile::Truncate(uint64_t size) {
    m_bytes.resize(size);
    return true;
}

int64_t FaultyFile::ReadAt(uint64_t offset, void* buf, size_t n) {
    if (m_readsLeft == 0) {
        return -1;
    }
    if (m_readsLeft != kNoLimit) {
        --m_readsLeft;
    }
    return m_inner->ReadAt(offset, buf, n);
}

bool FaultyFile::WriteAt(uint64_t offset, const void* buf, size_t n) {
    if (m_writeLimit != kNoLimit && offset + n > m_writeLimit) {
        return false;
    }
    return m_inner->WriteAt(offset, buf, n);
}

}  // namespace trelvan
