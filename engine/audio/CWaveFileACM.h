#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CMMio.h"
#include "CWavACM.h"
#include "IoFile.h"
#include "WaveFormatEx.h"

// A WAV file written or read in any audio format, PCM or compressed.
//
// Writing as the audio pages do: SetFileFormat (the source's format bytes),
// OpenWrite, WriteRaw of the source's audio bytes unchanged, Close. Close
// fixes the sizes and puts the number of sample frames into the fact chunk,
// computed through the codec layer for compressed formats.
//
// Write converts PCM in the data format to the file format; OpenRead/Read
// decode a compressed file to PCM.
class CWaveFileACM {
  public:
    CWaveFileACM();
    CWaveFileACM(const CWaveFileACM&) = delete;
    CWaveFileACM& operator=(const CWaveFileACM&) = delete;
    virtual ~CWaveFileACM();

    // Opens `path` for reading; nonzero on success, 0 when already open or on
    // failure (the file is closed again).
    virtual int32_t OpenRead(const std::string& path);
    // Creates `path` for writing in the chosen formats; nonzero on success, 0
    // when already open or on failure.
    virtual int32_t OpenWrite(const std::string& path);
    // Decoded (or plain) bytes delivered into `buffer`; 0 at the end or when
    // not open for reading; -1 on a conversion or file error.
    virtual int32_t Read(void* buffer, int32_t count);
    // Converting write of data-format bytes; returns the bytes consumed, 0
    // when not open for writing, -1 on a conversion or file error.
    virtual int32_t Write(const void* buffer, int32_t count);
    // Finishes (writing: converts what is pending, fixes the header) and
    // closes the file; always leaves the object reusable.
    virtual void Close();

    // The format the file is to be written in: `size` bytes of a WAVEFORMATEX
    // and its tail, or null to write in the data format. Keeps 18 plus the
    // extra-bytes count, or exactly 256 bytes when that count is 238 or more.
    // Call before OpenWrite.
    void SetFileFormat(const void* format, size_t size);
    // The format of the bytes Write takes (PCM); normally left alone, in
    // which case OpenWrite takes the PCM format paired with the file format.
    void SetDataFormat(const WAVEFORMATEX& format) { m_acm.m_dataFormat = format; }
    const WAVEFORMATEX& GetDataFormat() const { return m_acm.m_dataFormat; }

    // The file format as kept by SetFileFormat (256 bytes, or empty).
    const std::vector<uint8_t>& GetFileFormat() const { return m_acm.m_fileFormat; }

    // Copies `count` bytes unchanged into the data chunk; returns count, or 0
    // when the write fell short, count was 0 or the file is not open for
    // writing.
    int32_t WriteRaw(const void* buffer, int32_t count);

    // True when the last short write was refused at the 32-bit RIFF size
    // limit (the file is still finished valid by Close). Stays set until the
    // next OpenWrite.
    bool SizeLimitReached() const { return m_mmio.LimitReached(); }

    // After Close of a file being written: whether everything written reached
    // the file and its header was fixed. False after a failed write (a full
    // disk): the file then holds the whole blocks that reached it.
    bool WriteComplete() const { return m_writeComplete; }

    // Test seams: how the file is opened, and the RIFF size limit.
    void SetFileOpener(trelvan::FileOpener opener) { m_mmio.SetFileOpener(std::move(opener)); }
    void SetRiffSizeLimit(uint64_t limit) { m_mmio.SetRiffSizeLimit(limit); }
    // Chunks written after the data when the file is closed (see CMMio).
    void SetTrailingChunks(std::vector<trelvan::RiffChunkBytes> chunks) {
        m_mmio.SetTrailingChunks(std::move(chunks));
    }

  private:
    bool ChooseWriteFormats();
    bool OpenWriteConversion();
    bool OpenReadConversion();
    // Makes the write step's buffers (at the first converting write).
    void MakeWriteBuffers();
    uint32_t FactFrames() const;
    bool Flush();
    bool PutData(const uint8_t* p, uint32_t n);
    bool ConvertMain(bool end);
    bool FeedMain(const uint8_t* src, uint32_t n);
    bool FeedSecond(const uint8_t* src, uint32_t n, bool end);
    bool Decode();

    int32_t m_mode = 0;  // 0 reading, 1 writing
    bool m_writeComplete = false;
    CWavACM m_acm;
    CMMio m_mmio;
};
