#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BufferedWriter.h"
#include "IoFile.h"
#include "RiffChunkBytes.h"

// A chunk descriptor of a RIFF file: identifier, size of the data, form or
// list type (RIFF and LIST only), file offset of the data, flags.
struct MMCKINFO {
    uint32_t ckid = 0;
    uint32_t cksize = 0;
    uint32_t fccType = 0;
    uint64_t dwDataOffset = 0;  // 64-bit here: a file may be larger than its RIFF
    uint32_t dwFlags = 0;
};

// Reads and writes RIFF "WAVE" files with the chunks "fmt ", "fact" and
// "data", in that order when writing:
//
//   "RIFF" size "WAVE" | "fmt " size format | "fact" 4 frames | "data" size audio [pad]
//
// The class does not look into the audio format: the caller writes the format
// bytes and supplies the frame count of the fact chunk. Sizes are 0 in the
// file until FinishWrite fixes them. Writes go through a buffer; BeginData
// empties it to disk.
//
// Sizes in RIFF are 32-bit. A write that would take the RIFF size past the
// limit (0xFFFFFFFF unless a test lowers it) is refused whole and reported
// as a short write, so the caller stops and FinishWrite still leaves a valid
// file with everything written before.
//
// All operations return nonzero (true) on success unless said otherwise.
class CMMio {
  public:
    static constexpr uint64_t kRiffSizeLimit = 0xFFFFFFFFull;

    explicit CMMio(trelvan::FileOpener opener = trelvan::DiskFileOpener(),
                   uint64_t riff_size_limit = kRiffSizeLimit);
    CMMio(const CMMio&) = delete;
    CMMio& operator=(const CMMio&) = delete;
    virtual ~CMMio();

    // How files are opened (tests inject failing files) and the largest RIFF
    // size field a write may lead to. Both for the next open.
    void SetFileOpener(trelvan::FileOpener opener) { m_opener = std::move(opener); }
    void SetRiffSizeLimit(uint64_t limit) { m_riffLimit = limit; }

    // Chunks written after the data chunk when the file is finished (what
    // the source said about itself: an INFO list, a broadcast extension).
    // Left out when the file is cut short by a failure, and after an empty
    // data chunk.
    void SetTrailingChunks(std::vector<trelvan::RiffChunkBytes> chunks) {
        m_trailing = std::move(chunks);
    }

    bool IsOpen() const { return m_file != nullptr; }
    // True once a write of the file being written was refused because of
    // the RIFF size limit (rather than failing on the disk).
    bool LimitReached() const { return m_limitReached; }

    // Opens an existing file, finds the RIFF chunk of form "WAVE" and in it
    // the format chunk (at least 16 bytes), and stands at the format data.
    // On failure the file may stay open; the caller closes it.
    bool OpenRead(const std::string& path);
    // Creates or empties the file, writes the RIFF header and the header of
    // the format chunk with `format_size`, and stands at the format data.
    bool OpenWrite(const std::string& path, uint32_t format_size);

    // Reads exactly `count` bytes at the current position: returns count, or 0
    // when fewer are there (nothing is consumed then).
    int32_t Read(void* buffer, int32_t count);
    // Writes exactly `count` bytes: returns count, or 0 when they could not
    // all be written (a failing disk, or the RIFF size limit).
    int32_t Write(const void* buffer, int32_t count);

    // After the format was read: leaves the format chunk and stands at the
    // first byte of the data chunk.
    bool DescendToData();
    // Data chunk size as found by DescendToData, clamped to the bytes the file
    // really holds.
    uint32_t GetDataSize() const { return m_data.cksize; }
    // Format chunk size (found by OpenRead or given to OpenWrite).
    uint32_t GetFormatSize() const { return m_fmt.cksize; }

    // After the format bytes: closes the format chunk (padding it to even
    // length), writes the fact chunk with `fact_value`, opens the data chunk
    // and empties the write buffer to disk.
    bool BeginData(uint32_t fact_value);
    // Closes the data chunk (pad byte after odd data) and the RIFF chunk,
    // fixing their sizes, then rewrites the fact value. When a write has
    // failed (a full disk), the file is finished instead with the data that
    // reached it, cut to whole blocks of the format's block alignment, and
    // the fact value scaled to that part; the result is false then.
    bool FinishWrite(uint32_t fact_value);
    // Leaves the data chunk and the RIFF chunk of a file being read.
    bool FinishRead();

    // Closes the file if one is open. False when buffered bytes could not be
    // written or the file could not be released.
    bool Close();

  private:
    bool FindChunk(uint32_t id, uint64_t from, uint64_t end, MMCKINFO* out);
    bool CreateChunk(MMCKINFO* ck, bool riff);
    bool AscendWrite(MMCKINFO* ck);
    bool WriteTrailing();
    bool SalvageWrite(uint64_t written, uint32_t fact_value);

    trelvan::FileOpener m_opener;
    uint64_t m_riffLimit;
    std::string m_path;
    std::unique_ptr<trelvan::IoFile> m_file;
    std::unique_ptr<trelvan::BufferedWriter> m_writer;  // set while writing
    uint64_t m_readPos = 0;                             // while reading
    uint64_t m_fileSize = 0;                            // while reading
    bool m_limitReached = false;  // a write was refused at the RIFF size limit
    MMCKINFO m_riff;
    MMCKINFO m_fmt;
    MMCKINFO m_data;
    MMCKINFO m_fact;
    std::vector<trelvan::RiffChunkBytes> m_trailing;
};
