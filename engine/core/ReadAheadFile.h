#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "IoFile.h"

namespace trelvan {

// Windows of a file read ahead in one go: the one read-ahead cache of the
// program. Copying or walking a file of many small pieces (chunk headers,
// chunks of a few kilobytes) through positioned reads costs one system call
// per piece; through a window it costs one per window. Up to `count` windows
// are kept; a read that no window holds refills the one used least recently
// from the read's offset, so reading two streams stored in different parts of
// a file side by side does not refill a window for every piece. Reads of at
// least `direct_from` bytes go straight to the file. Not thread-safe: an
// owner that is called from several threads holds a lock around it.
class ReadWindows {
  public:
    ReadWindows(size_t window, size_t direct_from, int count = 1);

    // Reads up to n bytes at offset into buf; returns the bytes read (fewer
    // only where the file ends) or -1 on a read error. Does not move any
    // file position.
    int64_t ReadAt(IoFile& file, uint64_t offset, void* buf, size_t n);
    // True when exactly n bytes were read.
    bool ReadExact(IoFile& file, uint64_t offset, void* buf, size_t n) {
        return ReadAt(file, offset, buf, n) == static_cast<int64_t>(n);
    }
    // True for reads that bypass the windows.
    bool IsDirect(size_t n) const { return n >= m_directFrom || n > m_size; }
    // Forgets what the windows hold (after the file was written).
    void Drop();

  private:
    struct Window {
        std::vector<uint8_t> bytes;  // allocated on first use
        uint64_t start = 0;          // file offset of bytes[0]
        size_t valid = 0;            // bytes that hold file data
        uint64_t used = 0;           // when it last served a read
    };
    size_t m_size;
    size_t m_directFrom;
    std::vector<Window> m_windows;
    uint64_t m_clock = 0;
};

// A file whose small reads are served from two read-ahead windows. Reads at
// least half a window long go straight to the file. Writes pass through and
// drop the windows. Calls may come from several threads.
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
    std::mutex m_lock;
    ReadWindows m_windows;
};

// An opener whose files opened for reading read ahead; other opens are
// `inner`'s as they are.
FileOpener ReadAheadOpener(FileOpener inner = DiskFileOpener(),
                           size_t window = ReadAheadFile::kDefaultWindow);

}  // namespace trelvan
