#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The file seam every reader and writer goes through. Reads and writes are
// positioned (they never move a shared file position), so one file can serve
// several readers. Tests swap in memory files or files that fail on purpose.
namespace trelvan {

class IoFile {
public:
    virtual ~IoFile() = default;

    // Reads up to n bytes at offset. Returns the bytes read (fewer at the end
    // of the file, 0 past it) or -1 on failure.
    virtual int64_t ReadAt(uint64_t offset, void* buf, size_t n) = 0;
    // Writes all n bytes at offset; false when they could not all be written.
    virtual bool WriteAt(uint64_t offset, const void* buf, size_t n) = 0;
    // Current size in bytes, or -1 on failure.
    virtual int64_t Size() = 0;
    virtual bool Truncate(uint64_t size) = 0;
    // Releases the file; false when data could not be made durable.
    virtual bool Close() = 0;

    // Copies n bytes at `from_offset` of `from` to `offset` of this file
    // (positioned on both sides, like ReadAt/WriteAt). False when not all n
    // bytes could be copied: a failed read or write, or a source that ends
    // early. This default reads and writes through a buffer of its own; a
    // disk file copies inside the kernel when `from` is on disk too.
    virtual bool CopyFrom(IoFile& from, uint64_t from_offset, uint64_t offset, uint64_t n);
    // The descriptor of the disk file whose bytes ReadAt returns, for copies
    // inside the kernel; -1 when there is none (memory files, and wrappers
    // that change what reads return).
    virtual int NativeHandle() { return -1; }
};

enum class OpenMode {
    Read,            // existing file, read-only, shared with other readers
    CreateTruncate,  // new or emptied file, read-write
};

// Opens a file on disk. Returns null on failure; `error_out` gets errno.
std::unique_ptr<IoFile> OpenDiskFile(const std::string& path, OpenMode mode,
                                     int* error_out = nullptr);

// How operations open files; tests replace it to inject faults.
using FileOpener = std::function<std::unique_ptr<IoFile>(const std::string&, OpenMode)>;
FileOpener DiskFileOpener();

// A file held in memory.
class MemFile : public IoFile {
public:
    MemFile() = default;
    explicit MemFile(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override;
    bool WriteAt(uint64_t offset, const void* buf, size_t n) override;
    int64_t Size() override { return static_cast<int64_t>(m_bytes.size()); }
    bool Truncate(uint64_t size) override;
    bool Close() override { return true; }

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// Wraps a file and fails on purpose: writes that would reach past
// `write_limit` bytes of file offset fail (as a full disk does, nothing of the
// failing write lands), and reads fail once `reads_allowed` reads were served.
class FaultyFile : public IoFile {
public:
    static constexpr uint64_t kNoLimit = UINT64_MAX;

    FaultyFile(std::unique_ptr<IoFile> inner, uint64_t write_limit, uint64_t reads_allowed = kNoLimit)
        : m_inner(std::move(inner)), m_writeLimit(write_limit), m_readsLeft(reads_allowed) {}

    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override;
    bool WriteAt(uint64_t offset, const void* buf, size_t n) override;
    int64_t Size() override { return m_inner->Size(); }
    bool Truncate(uint64_t size) override { return m_inner->Truncate(size); }
    bool Close() override { return m_inner->Close(); }
    // Copies into this file fail past the write limit as writes do.
    bool CopyFrom(IoFile& from, uint64_t from_offset, uint64_t offset, uint64_t n) override;

private:
    std::unique_ptr<IoFile> m_inner;
    uint64_t m_writeLimit;
    uint64_t m_readsLeft;
};

}  // namespace trelvan
