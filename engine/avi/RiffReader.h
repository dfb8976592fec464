#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "IoFile.h"
#include "ReadAheadFile.h"

// Reading RIFF chunk headers from a file through a small read-ahead window,
// so that walking hundreds of thousands of chunks costs few system calls.
namespace trelvan {

// One chunk header as found in the file.
struct RiffChunk {
    uint32_t id = 0;
    uint32_t size = 0;      // data bytes as stored (without header and pad)
    uint32_t listType = 0;  // for RIFF and LIST chunks, the form or list type; else 0
    uint64_t pos = 0;       // file position of the header
    uint64_t Data() const { return pos + 8; }
    // Where the next chunk starts (after the pad byte of an odd size).
    uint64_t Next() const { return pos + 8 + size + (size & 1u); }
};

class RiffReader {
  public:
    // `big_endian` reads the size fields of RIFX files.
    explicit RiffReader(IoFile& file, uint64_t file_size, bool big_endian = false);

    // Reads the header at `pos`; false when the 8 bytes (12 for RIFF and LIST)
    // are not in the file. The size is returned as stored, even when it runs
    // past the end of the file; callers clamp.
    bool HeaderAt(uint64_t pos, RiffChunk* chunk);
    // Reads n bytes at pos through the read-ahead window (n small) or
    // straight from the file; false when they are not all there.
    bool Read(uint64_t pos, void* buf, size_t n);
    uint64_t FileSize() const { return m_fileSize; }

  private:
    IoFile& m_file;
    uint64_t m_fileSize;
    bool m_bigEndian;
    ReadWindows m_window;
};

// True for the four characters of a data chunk id: two stream-number
// characters (decimal or hexadecimal digits) and two letters or digits.
bool IsDataChunkId(uint32_t id);
// The stream number of a data chunk id ('01wb' -> 1), or -1. Numbers are
// decimal as most writers use them; a hexadecimal letter makes them
// hexadecimal (stream 10 written as '0A').
int StreamOfChunkId(uint32_t id);

}  // namespace trelvan
