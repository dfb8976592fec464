#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "IoFile.h"
#include "ReadAheadFile.h"
#include "RiffChunkBytes.h"

// The program's own AVI file layer: opens AVI 1.0 and OpenDML files (and WAV
// files, as files with one audio stream) read-only, lists their streams and
// reads their samples by number. It keeps the contract the readers were built
// on: stream information records, format blocks as stored, sample reads that
// report bytes and samples, a previous-key-frame search.
namespace trelvan {

// The fields of a stream's information record (what the 140-byte stream
// information record of the AVI file services holds).
struct AviStreamInfo {
    uint32_t fccType = 0;  // 'vids', 'auds', ... (first character in the lowest byte)
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0, dwCaps = 0;
    uint16_t wPriority = 0, wLanguage = 0;
    uint32_t dwScale = 0, dwRate = 0;    // samples per second = rate / scale
    uint32_t dwStart = 0, dwLength = 0;  // in samples
    uint32_t dwInitialFrames = 0, dwSuggestedBufferSize = 0, dwQuality = 0;
    uint32_t dwSampleSize = 0;  // 0 = variable (one chunk is one sample)
    int32_t rcLeft = 0, rcTop = 0, rcRight = 0, rcBottom = 0;
    uint32_t dwEditCount = 0, dwFormatChangeCount = 0;
    std::string name;  // at most 63 characters
};

inline constexpr int32_t kReadConvenient = -1;  // "as much as is convenient"

// One stored chunk of a stream, packed into 16 bytes: file position of the
// chunk's data (48 bits), its size (31 bits) and key flag, and 48 bits of
// stream-dependent extra: for fixed-sample-size streams the byte position of
// the chunk within the stream's concatenated data, for the others the number
// of the nearest key chunk at or before it (kNoKey when there is none).
struct AviChunkRef {
    static constexpr uint64_t kNoKey = 0xFFFFFFFFFFFFull;

    uint32_t offsetLow = 0;
    uint16_t offsetHigh = 0;
    uint16_t extraHigh = 0;
    uint32_t sizeAndKey = 0;  // bit 31: key
    uint32_t extraLow = 0;

    uint64_t Offset() const { return offsetLow | (static_cast<uint64_t>(offsetHigh) << 32); }
    uint32_t Size() const { return sizeAndKey & 0x7FFFFFFFu; }
    bool Key() const { return (sizeAndKey & 0x80000000u) != 0; }
    uint64_t Extra() const { return extraLow | (static_cast<uint64_t>(extraHigh) << 32); }
    void SetOffset(uint64_t v) {
        offsetLow = static_cast<uint32_t>(v);
        offsetHigh = static_cast<uint16_t>(v >> 32);
    }
    void SetSizeKey(uint32_t size, bool key) {
        sizeAndKey = (size & 0x7FFFFFFFu) | (key ? 0x80000000u : 0u);
    }
    void SetExtra(uint64_t v) {
        extraLow = static_cast<uint32_t>(v);
        extraHigh = static_cast<uint16_t>(v >> 32);
    }
};
static_assert(sizeof(AviChunkRef) == 16);

class AviFile;
class RiffReader;
struct RiffChunk;

class AviStream {
  public:
    AviStream() = default;
    AviStream(const AviStream&) = delete;
    AviStream& operator=(const AviStream&) = delete;
    AviStream(AviStream&&) = default;
    AviStream& operator=(AviStream&&) = default;

    const AviStreamInfo& Info() const { return m_info; }
    // The format block as stored (BITMAPINFOHEADER + tail for video,
    // WAVEFORMATEX + tail for audio).
    const std::vector<uint8_t>& Format() const { return m_format; }
    int32_t Start() const { return static_cast<int32_t>(m_info.dwStart); }    // first sample
    int32_t Length() const { return static_cast<int32_t>(m_info.dwLength); }  // number of samples
    // Bytes per sample; 0 when one chunk is one sample (video, VBR audio).
    uint32_t SampleSize() const { return m_sampleSize; }
    bool IsVideo() const;
    bool IsAudio() const;

    // Reads `count` samples from `pos` (kReadConvenient: one frame for video;
    // for audio as many whole samples as fit in buf_bytes, at least one when
    // buf_bytes allows). buf == nullptr is a size query. Returns 0 or
    // err::kStreamRead; *bytes and *samples (either may be null) get what was
    // (or would be) read. A read at the end of the stream gives 0 samples.
    int32_t Read(int32_t pos, int32_t count, void* buf, int64_t buf_bytes, int64_t* bytes,
                 int32_t* samples);
    bool IsKeyFrame(int32_t pos) const;
    // The nearest key sample at or before pos; -1 when there is none.
    int32_t FindPrevKeyFrame(int32_t pos) const;

    // Chunk level, for copying writers: the stored chunks of the stream in
    // stream order (palette changes and index chunks are not counted).
    int64_t ChunkCount() const { return static_cast<int64_t>(m_chunks.size()); }
    uint32_t ChunkSize(int64_t chunk) const { return m_chunks[static_cast<size_t>(chunk)].Size(); }
    bool ChunkIsKey(int64_t chunk) const { return m_chunks[static_cast<size_t>(chunk)].Key(); }
    uint64_t ChunkOffset(int64_t chunk) const {
        return m_chunks[static_cast<size_t>(chunk)].Offset();
    }
    // The file the chunks are stored in, for copying a chunk's bytes
    // (ChunkOffset, ChunkSize) elsewhere without reading them here.
    IoFile& Io() const;
    // Reads one whole chunk into buf (at least ChunkSize bytes). Returns 0 or
    // err::kStreamRead.
    int32_t ReadChunk(int64_t chunk, void* buf, int64_t buf_bytes);
    // Sets a chunk's key flag (while the index is being built).
    void SetChunkKey(int64_t chunk, bool key) {
        AviChunkRef& r = m_chunks[static_cast<size_t>(chunk)];
        r.SetSizeKey(r.Size(), key);
    }
    // Total bytes of the stream's data.
    uint64_t TotalBytes() const { return m_totalBytes; }

  private:
    friend class AviFile;
    friend class AviIndexBuilder;

    int32_t ReadVariable(int32_t pos, int32_t count, void* buf, int64_t buf_bytes, int64_t* bytes,
                         int32_t* samples);
    int32_t ReadFixed(int32_t pos, int32_t count, void* buf, int64_t buf_bytes, int64_t* bytes,
                      int32_t* samples);
    // The chunk holding stream byte `at` (fixed sample size only).
    size_t ChunkAtByte(uint64_t at) const;

    AviFile* m_file = nullptr;
    AviStreamInfo m_info;
    std::vector<uint8_t> m_format;
    std::vector<AviChunkRef> m_chunks;
    uint32_t m_sampleSize = 0;
    uint64_t m_totalBytes = 0;
    uint32_t m_chunkId = 0;  // two stream-number characters, as in '00dc'
};

// Values of the main AVI header (zero for WAV files).
struct AviMainHeader {
    uint32_t dwMicroSecPerFrame = 0, dwMaxBytesPerSec = 0, dwPaddingGranularity = 0;
    uint32_t dwFlags = 0, dwTotalFrames = 0, dwInitialFrames = 0, dwStreams = 0;
    uint32_t dwSuggestedBufferSize = 0, dwWidth = 0, dwHeight = 0;
};

// How the sample index of a file was obtained.
enum class AviIndexSource {
    OpenDml,   // ix## standard indexes through the indx super indexes
    Idx1,      // the AVI 1.0 index
    Scan,      // walking the movi lists (no usable index)
    WaveData,  // a WAV file's data chunk
};

class AviFile {
  public:
    AviFile() = default;
    AviFile(const AviFile&) = delete;
    AviFile& operator=(const AviFile&) = delete;

    // Opens read-only (shared). On failure returns null and sets *error
    // (err::kFileOpen when the file cannot be opened or is no AVI or WAVE
    // file). A WAV file opens as a file with exactly one audio stream.
    static std::shared_ptr<AviFile> Open(const std::string& path, int32_t* error,
                                         const FileOpener& opener = DiskFileOpener());
    // The same over an already opened file (tests, fuzzing).
    static std::shared_ptr<AviFile> OpenFile(std::unique_ptr<IoFile> file, int32_t* error);

    int StreamCount() const { return static_cast<int>(m_streams.size()); }
    AviStream& Stream(int index) { return m_streams[static_cast<size_t>(index)]; }  // in file order
    const AviStream& Stream(int index) const { return m_streams[static_cast<size_t>(index)]; }

    const AviMainHeader& MainHeader() const { return m_main; }
    bool IsWave() const { return m_isWave; }
    AviIndexSource IndexSource() const { return m_indexSource; }
    // What the file says about itself, as stored: the first INFO list and,
    // for WAV files, the broadcast extension ("bext"), for AVI files the
    // recording date ("IDIT"). Each at most 1 MiB.
    const std::vector<RiffChunkBytes>& DescriptiveChunks() const { return m_descriptive; }
    uint64_t FileSize() const { return m_fileSize; }

    // Reads n bytes at offset with at most one positioned read of the file
    // (small reads in file order share a read-ahead window); false when
    // fewer than n bytes could be read.
    bool ReadExact(uint64_t offset, void* buf, size_t n);

  private:
    friend class AviIndexBuilder;
    friend class AviStream;

    int32_t Parse();
    int32_t ParseAvi(uint64_t riff_end);
    int32_t ParseWave(uint64_t riff_end, bool rf64);
    void KeepDescriptive(RiffReader& reader, const RiffChunk& c, uint64_t end);

    // Samples up to 16 KiB are read through one 256 KiB window.
    static constexpr size_t kReadAheadLimit = 16 * 1024;
    static constexpr size_t kReadAheadWindow = 256 * 1024;

    std::unique_ptr<IoFile> m_file;
    uint64_t m_fileSize = 0;
    ReadWindows m_window{kReadAheadWindow, kReadAheadLimit + 1};
    AviMainHeader m_main;
    std::vector<AviStream> m_streams;
    std::vector<RiffChunkBytes> m_descriptive;
    bool m_isWave = false;
    AviIndexSource m_indexSource = AviIndexSource::Scan;
};

}  // namespace trelvan
