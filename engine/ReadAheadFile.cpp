#include "ReadAheadFile.h"

#include <algorithm>
#include <cstring>

namespace trelvan {

ReadAheadFile::ReadAheadFile(std::unique_ptr<IoFile> inner, size_t window)
    : m_inner(std::move(inner)), m_window(std::max<size_t>(window, 4096)) {}

int64_t ReadAheadFile::ReadAt(uint64_t offset, void* buf, size_t n) {
    if (n >= m_window.size() / 2) {
        return m_inner->ReadAt(offset, buf, n);
    }
    std::lock_guard<std::mutex> hold(m_lock);
    const bool inside = offset >= m_start && offset + n <= m_start + m_valid;
    if (!inside) {
        const int64_t got = m_inner->ReadAt(offset, m_window.data(), m_window.size());
        if (got < 0) {
            m_valid = 0;
            return -1;
        }
        m_start = offset;
        m_valid = static_cast<size_t>(got);
    }
    const uint64_t within = offset - m_start;
    const size_t k = within >= m_valid ? 0 : std::min<size_t>(n, m_valid - within);
    if (k > 0) {
        std::memcpy(buf, m_window.data() + within, k);
    }
    return static_cast<int64_t>(k);
}

bool ReadAheadFile::WriteAt(uint64_t offset, const void* buf, size_t n) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_valid = 0;
    }
    return m_inner->WriteAt(offset, buf, n);
}

bool ReadAheadFile::Truncate(uint64_t size) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_valid = 0;
    }
    return m_inner->Truncate(size);
}

FileOpener ReadAheadOpener(FileOpener inner, size_t window) {
    return [inner = std::move(inner), window](const std::string& path,
                                              OpenMode mode) -> std::unique_ptr<IoFile> {
        auto f = inner ? inner(path, mode) : nullptr;
        if (!f || mode != OpenMode::Read) {
            return f;
        }
        return std::make_unique<ReadAheadFile>(std::move(f), window);
    };
}

}  // namespace trelvan
