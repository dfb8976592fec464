#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BufferedWriter.h"
#include "IoFile.h"
#include "RiffChunkBytes.h"

namespace trelvan {

// Stored video samples at least this large are copied from the source file
// to the output file inside the kernel, without passing through this
// process; smaller ones are read and written (their count, not their bytes,
// is what costs).
inline constexpr uint32_t kDirectCopyBytes = 32u << 10;

// What the writer needs to know of a stream: the fields of its stream header
// (`strh`) as a stream information record carries them, plus its name. The
// length and the suggested buffer size are not taken from here: the writer
// counts them from the samples it stores.
struct AviWriterStreamInfo {
    uint32_t fccType = 0;  // 'vids', 'auds', ... (first character in the lowest byte)
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint16_t wPriority = 0, wLanguage = 0;
    uint32_t dwScale = 0, dwRate = 0;  // samples per second = rate / scale
    uint32_t dwStart = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;  // 0: one chunk is one sample
    int32_t rcLeft = 0, rcTop = 0, rcRight = 0, rcBottom = 0;
    std::string name;  // written as `strn` when not empty (63 characters at most)
};

// Sizes the writer works with. They are parameters so that tests can cross the
// RIFF limits with files of a few kilobytes.
struct AviWriterLimits {
    // A RIFF (with its indexes) is closed before it would grow past this many
    // bytes and the file goes on in a `RIFF 'AVIX'`. 1 GiB keeps the first RIFF
    // within reach of readers that stop at 1 or 2 GiB.
    uint64_t riffBytes = 0x40000000;
    // Entries of the OpenDML super index reserved per stream: the number of
    // RIFFs a file can have.
    uint32_t superIndexEntries = 256;
    // Size of the write buffer. Chunks at least this large go straight to the
    // file. A buffer that stays in the processor's cache copies fastest.
    size_t bufferBytes = 256u << 10;
};

// Writes an AVI file: streams from a header and a format block (copied as
// given), then chunks in the order they come, each with its key-frame flag,
// and at Close the headers, `idx1` and, when the file grew past one RIFF, the
// OpenDML indexes (`ix##` per stream and RIFF, `indx` super index in each
// `strl`, `odml`/`dmlh`).
//
// Layout: RIFF 'AVI ' { LIST hdrl { avih, LIST strl { strh, strf, [strn],
// JUNK reserved for indx }..., JUNK reserved for LIST odml }, LIST movi {...},
// idx1 }, then RIFF 'AVIX' { LIST movi {...} }... A file that stays in one RIFF
// is a plain AVI 1.0 file; the reservations stay JUNK.
//
// All methods return 0 or an error code (ErrorCodes.h); nothing throws. After
// a failed write every later write fails too; Close still finishes what is on
// disk so that the samples written before the failure stay readable.
class AviWriter {
  public:
    static constexpr int kMaxStreams = 10;  // chunk ids "00".."09" read the same in every reader

    explicit AviWriter(AviWriterLimits limits = {});
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Chunks written between the header list and the movi list, as stored
    // (what the source said about itself: its INFO list, its recording date).
    // Takes effect when the headers are written, before the first sample.
    void SetDescriptiveChunks(std::vector<RiffChunkBytes> chunks) {
        m_descriptive = std::move(chunks);
    }

    // Creates (or empties) the file. err::kSaveCreate when it cannot be made.
    int32_t Create(const std::string& path, const FileOpener& opener = DiskFileOpener());
    // Writes into a file the caller opened (tests).
    int32_t Create(std::unique_ptr<IoFile> file);

    // Adds a stream; streams are numbered in the order they are added. Only
    // before the first sample: err::kVideoStreamMake otherwise, or when there are
    // kMaxStreams already. err::kFormatSet for a video format under 40 bytes or
    // an audio format under 16 bytes.
    int32_t AddStream(const AviWriterStreamInfo& info, const std::vector<uint8_t>& format,
                      int* index);

    // Stores one chunk of a stream, byte for byte (zero bytes are allowed: a
    // frame that repeats the previous one). `samples` (may be null) gets the
    // number of samples the chunk holds: 1 for a stream of variable sample
    // size, bytes / dwSampleSize otherwise. err::kStreamWrite on failure.
    int32_t WriteChunk(int stream, const void* data, uint32_t bytes, bool key,
                       int32_t* samples = nullptr);
    // The same with the chunk's bytes copied from `from` at `from_offset`
    // (a source file's stored chunk): between disk files the bytes go from
    // file to file inside the kernel, never through this process.
    int32_t CopyChunk(int stream, IoFile& from, uint64_t from_offset, uint32_t bytes, bool key,
                      int32_t* samples = nullptr);

    // Marks the file as interleaved (AVIF_ISINTERLEAVED in `avih`).
    void SetInterleaved(bool on) { m_interleaved = on; }

    // Completes headers and indexes and releases the file. Returns the first
    // failure of the whole writing (0 when all went well). Harmless when
    // nothing is open.
    int32_t Close();

    bool IsOpen() const { return m_file != nullptr; }
    int StreamCount() const { return static_cast<int>(m_streams.size()); }
    // Samples stored so far in a stream (its dwLength at close).
    int64_t StreamLength(int stream) const;
    // The format block of a stream as it is stored.
    const std::vector<uint8_t>& StreamFormat(int stream) const;
    // Number of RIFFs so far (1 until the file grows past the first limit).
    int RiffCount() const { return m_riffCount; }

  private:
    struct SuperEntry {
        uint64_t offset;    // file position of the ix## chunk header
        uint32_t size;      // whole chunk, header included
        uint32_t duration;  // samples indexed
    };
    struct Stream {
        AviWriterStreamInfo info;
        std::vector<uint8_t> format;
        uint32_t chunkId = 0;      // "00dc", "01wb", ...
        uint64_t chunks = 0;       // chunks stored
        uint64_t bytes = 0;        // data bytes stored
        uint64_t samples = 0;      // samples stored
        uint32_t maxChunk = 0;     // largest chunk
        uint32_t riffChunks = 0;   // chunks in the current RIFF
        uint64_t riffSamples = 0;  // samples in the current RIFF
        uint64_t strhPos = 0;      // payload position of strh
        uint64_t indxPos = 0;      // header position of the reserved indx
        std::vector<SuperEntry> super;
    };
    struct Entry {
        uint64_t dataPos;  // position of the chunk data (its header is 8 bytes before)
        uint32_t size;
        uint8_t stream;
        uint8_t key;
    };

    // Stores one chunk whose bytes come from `data` or, without data, from
    // `from` at `from_offset`.
    int32_t PutChunk(int stream, const void* data, IoFile* from, uint64_t from_offset,
                     uint32_t bytes, bool key, int32_t* samples);
    bool WriteHeaders();
    bool StartAvix();
    // Writes the indexes that close the current RIFF and patches its sizes.
    // `opendml`: write ix## chunks and super-index entries. Changes no state
    // unless it succeeds.
    bool FinishRiff(bool opendml);
    bool PatchHeaders();
    bool PatchLE32(uint64_t pos, uint32_t v);
    bool PutChunkHeader(uint32_t id, uint32_t size);
    uint32_t SamplesIn(const Stream& s, uint32_t bytes) const;
    uint64_t IndexReserve(int adding_stream) const;
    // After a failed write: cuts the file after the last chunk that is whole
    // on disk and forgets the chunks that did not land.
    void Salvage();
    void Reset();

    AviWriterLimits m_limits;
    std::unique_ptr<IoFile> m_file;
    std::unique_ptr<BufferedWriter> m_out;
    std::vector<Stream> m_streams;
    std::vector<Entry> m_entries;  // chunks of the current RIFF, in file order
    bool m_headersWritten = false;
    std::vector<RiffChunkBytes> m_descriptive;
    bool m_interleaved = false;
    int32_t m_error = 0;
    int m_riffCount = 0;
    uint64_t m_riffStart = 0;        // header position of the current RIFF
    uint64_t m_moviList = 0;         // header position of the current LIST movi
    uint64_t m_avihPos = 0;          // payload position of avih
    uint64_t m_odmlPos = 0;          // header position of the reserved odml list
    uint64_t m_firstRiffFrames = 0;  // video frames in the first RIFF
    bool m_idx1Written = false;
    bool m_riffLost = false;  // Salvage: the current RIFF's header never reached the disk
};

}  // namespace trelvan
