#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AviWriter.h"

// A small independent walk over an AVI file's RIFF structure, for tests of the
// writers: the stream headers and formats (to feed the writer with what the
// ffmpeg tool wrote), and the structure the writer produced (RIFFs, indexes,
// OpenDML headers).
namespace trelvan::test {

struct WalkedStream {
    AviWriterStreamInfo info;
    std::vector<uint8_t> format;
    uint32_t length = 0;     // strh dwLength
    uint32_t suggested = 0;  // strh dwSuggestedBufferSize
    bool hasIndx = false;    // an `indx` chunk (not JUNK) in the strl
    uint32_t indxEntries = 0;
};

struct WalkedAvi {
    bool ok = false;
    std::vector<uint32_t> riffForms;  // 'AVI ', 'AVIX', ...
    std::vector<uint64_t> riffSizes;  // whole RIFF, header included
    std::vector<WalkedStream> streams;
    uint32_t avihFlags = 0;
    uint32_t avihTotalFrames = 0;
    uint32_t avihStreams = 0;
    uint32_t idx1Entries = 0;
    bool hasOdml = false;
    uint32_t dmlhFrames = 0;
    int ixChunks = 0;  // ix## chunks found in movi lists
    uint64_t fileSize = 0;
};

WalkedAvi WalkAvi(const std::string& path);

// A file the test keeps: the writer owns this wrapper, not the file behind it.
class BorrowedFile : public IoFile {
  public:
    explicit BorrowedFile(IoFile& f) : m_f(f) {}
    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        return m_f.ReadAt(offset, buf, n);
    }
    bool WriteAt(uint64_t offset, const void* buf, size_t n) override {
        return m_f.WriteAt(offset, buf, n);
    }
    int64_t Size() override { return m_f.Size(); }
    bool Truncate(uint64_t size) override { return m_f.Truncate(size); }
    bool Close() override { return true; }

  private:
    IoFile& m_f;
};

// The packets of a stream as `ffmpeg -f framecrc` sees them: size, Adler-32
// and key flag per packet (cheap for files too large for ProbePackets).
struct CrcPacket {
    uint32_t size = 0;
    uint32_t adler = 0;
    bool key = false;
    bool operator==(const CrcPacket&) const = default;
};
std::vector<CrcPacket> FrameCrcs(const std::string& path, const std::string& stream);
// Adler-32 as framecrc computes it (initial value 0).
uint32_t Adler32(const uint8_t* data, size_t n);

}  // namespace trelvan::test
