#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "IoFile.h"

namespace trelvan {

// A file whose small reads are served from windows read ahead in one go.
// Copying a file of many small chunks (a few kilobytes each) through
// positioned reads otherwise costs one system call per chunk; with a window
// it costs one per window. Two windows are kept (the one used least recently
// is refilled), so reading two streams stored in different parts of a file
// side by side does not refill a window for every chunk. Reads at least half
// a window long go straight to the file. Writes pass through and drop the
// windows. Calls may come from several threads.
class ReadAheadFile : public IoFile {
  public:
    static constexpr size_t kDefaultWindow = 256 << 10;

    explicit ReadAheadFile(std::unique_ptr<IoFile> inner, size_t window = kDefaultWindow);

    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override;
    bool WriteAt(uint64_t offset, const void* buf, size_t n) override;
    int64_t Size() override { return m_inner->Size(); }
    bool Truncate(uint64_t size) override;
    bool Close() override { return m_inner->Close(); }
    // The windows only cache reads: copies may take the bytes from the file.
    int NativeHandle() override { return m_inner->NativeHandle(); }

  private:
    std::unique_ptr<IoFile> m_inner;
    struct Window {
        std::vector<uint8_t> bytes;
        uint64_t start = 0;  // file offset of bytes[0]
        size_t valid = 0;    // bytes that hold file data
        uint64_t used = 0;   // when it last served a read
    };
    std::mutex m_lock;
    size_t m_size;
    Window m_windows[2];
    uint64_t m_clock = 0;
};

// An opener whose files opened for reading read ahead; other opens are
// `inner`'s as they are.
FileOpener ReadAheadOpener(FileOpener inner = DiskFileOpener(),
                           size_t window = ReadAheadFile::kDefaultWindow);

}  // namespace trelvan
