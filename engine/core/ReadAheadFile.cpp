#include "ReadAheadFile.h"

#include <algorithm>
#include <cstring>

namespace trelvan {

ReadWindows::ReadWindows(size_t window, size_t direct_from, int count)
    : m_size(window), m_directFrom(direct_from), m_windows(static_cast<size_t>(std::max(count, 1))) {}

int64_t ReadWindows::ReadAt(IoFile& file, uint64_t offset, void* buf, size_t n) {
    if (IsDirect(n)) {
        return file.ReadAt(offset, buf, n);
    }
    Window* w = nullptr;
    for (Window& c : m_windows) {
        if (offset >= c.start && offset + n <= c.start + c.valid) {
            w = &c;
        }
    }
    if (w == nullptr) {
        w = &*std::min_element(m_windows.begin(), m_windows.end(),
                               [](const Window& a, const Window& b) { return a.used < b.used; });
        if (w->bytes.empty()) {
            w->bytes.resize(m_size);
        }
        const int64_t got = file.ReadAt(offset, w->bytes.data(), m_size);
        if (got < 0) {
            w->valid = 0;
            return -1;
        }
        w->start = offset;
        w->valid = static_cast<size_t>(got);
    }
    w->used = ++m_clock;
    const uint64_t within = offset - w->start;
    const size_t k = within >= w->valid ? 0 : std::min<size_t>(n, w->valid - within);
    if (k > 0) {
        std::memcpy(buf, w->bytes.data() + within, k);
    }
    return static_cast<int64_t>(k);
}

void ReadWindows::Drop() {
    for (Window& w : m_windows) {
        w.valid = 0;
    }
}

namespace {
size_t WindowSize(size_t window) { return std::max<size_t>(window, 4096); }
}  // namespace

ReadAheadFile::ReadAheadFile(std::unique_ptr<IoFile> inner, size_t window)
    : m_inner(std::move(inner)), m_windows(WindowSize(window), WindowSize(window) / 2, 2) {}

int64_t ReadAheadFile::ReadAt(uint64_t offset, void* buf, size_t n) {
    if (m_windows.IsDirect(n)) {
        return m_inner->ReadAt(offset, buf, n);
    }
    std::lock_guard<std::mutex> hold(m_lock);
    return m_windows.ReadAt(*m_inner, offset, buf, n);
}

bool ReadAheadFile::WriteAt(uint64_t offset, const void* buf, size_t n) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_windows.Drop();
    }
    return m_inner->WriteAt(offset, buf, n);
}

bool ReadAheadFile::Truncate(uint64_t size) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_windows.Drop();
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
