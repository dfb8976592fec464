#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "IoFile.h"

namespace trelvan {

// A file whose small reads are served from a window read ahead in one go.
// Copying a file of many small chunks (a few kilobytes each) through
// positioned reads otherwise costs one system call per chunk; with the window
// it costs one per window. Reads at least half a window long go straight to
// the file. Writes pass through and drop the window. Calls may come from
// several threads.
class ReadAheadFile : public IoFile {
  public:
    static constexpr size_t kDefaultWindow = 1 << 20;

    explicit ReadAheadFile(std::unique_ptr<IoFile> inner, size_t window = kDefaultWindow);

    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override;
    bool WriteAt(uint64_t offset, const void* buf, size_t n) override;
    int64_t Size() override { return m_inner->Size(); }
    bool Truncate(uint64_t size) override;
    bool Close() override { return m_inner->Close(); }

  private:
    std::unique_ptr<IoFile> m_inner;
    std::mutex m_lock;
    std::vector<uint8_t> m_window;
    uint64_t m_start = 0;  // file offset of m_window[0]
    size_t m_valid = 0;    // bytes of the window that hold file data
};

// An opener whose files opened for reading read ahead; other opens are
// `inner`'s as they are.
FileOpener ReadAheadOpener(FileOpener inner = DiskFileOpener(),
                           size_t window = ReadAheadFile::kDefaultWindow);

}  // namespace trelvan
