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

    // Inside the kernel (copy_file_range: no copy through this process, and
    // shared blocks where the file system can) when the source is a disk
    // file; through a buffer where the kernel cannot (another file system
    // on older kernels, no such call).
    bool CopyFrom(IoFile& from, uint64_t from_offset, uint64_t offset, uint64_t n) override {
        const int in = from.NativeHandle();
        if (in < 0 || !m_kernelCopy) {
            return IoFile::CopyFrom(from, from_offset, offset, n);
        }
        auto src = static_cast<off_t>(from_offset);
        auto dst = static_cast<off_t>(offset);
        uint64_t left = n;
        while (left > 0) {
            const ssize_t r = ::copy_file_range(in, &src, m_fd, &dst, left, 0);
            if (r < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
                    m_kernelCopy = false;
                    return IoFile::CopyFrom(from, static_cast<uint64_t>(src),
                                            static_cast<uint64_t>(dst), left);
                }
                return false;
            }
            if (r == 0) {
                return false;  // the source ended early
            }
            left -= static_cast<uint64_t>(r);
        }
        return true;
    }

    int NativeHandle() override { return m_fd; }

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
    bool m_kernelCopy = true;
};

}  // namespace

bool IoFile::CopyFrom(IoFile& from, uint64_t from_offset, uint64_t offset, uint64_t n) {
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(n, 256u << 10)));
    while (n > 0) {
        const size_t k = static_cast<size_t>(std::min<uint64_t>(n, buf.size()));
        if (from.ReadAt(from_offset, buf.data(), k) != static_cast<int64_t>(k) ||
            !WriteAt(offset, buf.data(), k)) {
            return false;
        }
        from_offset += k;
        offset += k;
        n -= k;
    }
    return true;
}

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
    if (n == 0 || offset >= m_bytes.size()) {
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

bool FaultyFile::CopyFrom(IoFile& from, uint64_t from_offset, uint64_t offset, uint64_t n) {
    if (m_writeLimit != kNoLimit && offset + n > m_writeLimit) {
        return false;
    }
    return m_inner->CopyFrom(from, from_offset, offset, n);
}

bool FaultyFile::WriteAt(uint64_t offset, const void* buf, size_t n) {
    if (m_writeLimit != kNoLimit && offset + n > m_writeLimit) {
        return false;
    }
    return m_inner->WriteAt(offset, buf, n);
}

}  // namespace trelvan
