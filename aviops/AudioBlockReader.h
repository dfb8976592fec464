#pragma once

#include <cstdint>

#include "CDecWAV.h"
#include "MemBuffBase.h"

namespace trelvan {

// Reads the audio of an open reader block by block, from its read position up
// to (not including) a last sample. Streams of a fixed sample size are read in
// whole samples, as many as fit the buffer; a stream of variable sample size
// (MP3 or AAC in AVI, one chunk per sample) gives one chunk per read, and the
// buffer grows to hold it, since a chunk may be larger than the format's block
// alignment says.
class AudioBlockReader {
public:
    // A chunk larger than this is not believed: no real audio packet comes
    // near it, and the copy buffer stays small whatever the file says.
    static constexpr int64_t kLargestSample = 16 << 20;

    AudioBlockReader(CDecWAV& reader, CMemBuffBase<unsigned char>& buffer, int64_t end)
        : m_reader(reader), m_buffer(buffer), m_end(end) {}

    // Reads the next block into the buffer. Returns 0 or an error code; at the
    // end of the range (or of the stream) *bytes and *samples are 0.
    int32_t Next(int32_t* bytes, int32_t* samples);

    const unsigned char* Data() const { return m_buffer.Data(); }

private:
    CDecWAV& m_reader;
    CMemBuffBase<unsigned char>& m_buffer;
    int64_t m_end;
};

}  // namespace trelvan
