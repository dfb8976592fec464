#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "IoFile.h"

namespace trelvan {

// Sequential writes through a large buffer, with the ability to go back and
// patch bytes already written (sizes, headers). Failures are sticky: after the
// first failed write every later call fails too and Ok() is false.
class BufferedWriter {
  public:
    static constexpr size_t kDefaultBuffer = 1 << 20;

    explicit BufferedWriter(IoFile& file, uint64_t start = 0, size_t buffer_size = kDefaultBuffer);

    // Appends n bytes at the current position. Large blocks bypass the buffer.
    bool Write(const void* data, size_t n);
    bool WriteZeros(size_t n);
    // Room for n bytes at the current position, filled in place by the
    // caller and then appended with Commit(n), which saves a copy for data
    // built piece by piece (packets). The buffer is emptied first when it
    // lacks room. Null after a failure or when n exceeds the buffer. Nothing
    // else may be written between the two calls.
    uint8_t* Reserve(size_t n);
    void Commit(size_t n);
    // Writes n bytes at an absolute offset that was already written (or lies
    // within the buffered range); the position does not move.
    bool Patch(uint64_t offset, const void* data, size_t n);
    // Appends n bytes copied from `from` at `from_offset` (IoFile::CopyFrom:
    // inside the kernel between disk files). The buffer is emptied first so
    // the bytes land in order.
    bool CopyFrom(IoFile& from, uint64_t from_offset, uint64_t n);
    // Empties the buffer to the file.
    bool Flush();

    uint64_t Position() const { return m_pos; }
    // Every byte before this offset was handed to the file without a
    // failure; after a failure, the file holds nothing trustworthy past it.
    uint64_t Landed() const { return m_bufStart; }
    bool Ok() const { return m_ok; }
    IoFile& File() { return m_file; }

  private:
    IoFile& m_file;
    std::vector<uint8_t> m_buf;
    size_t m_used = 0;
    uint64_t m_bufStart;  // file offset of m_buf[0]
    uint64_t m_pos;       // file offset of the next appended byte
    bool m_ok = true;
};

}  // namespace trelvan
