#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AviCompressOptions.h"
#include "AviFile.h"
#include "AviWriter.h"
#include "CEncAVISetting.h"
#include "IoFile.h"

// The AVI writer at the base of the writer classes. It owns the output file,
// one video stream and the codec settings (CEncAVISetting: read when the
// writer is made, written back when it is destroyed).
//
// Copy mode: OpenForCopy with a source's video header and format, then
// WriteSamples with stored, already compressed samples, which are written
// unchanged with their key-frame flags; Close completes the file.
//
// Compressing mode (no operation uses it): SetInputFormat, Open, WriteFrame
// with uncompressed frames. Only the "DIB " handler (store uncompressed) is
// available; any other handler fails with err::kCodecSelect.
//
// Every operation returns 0 or an error code; nothing throws.
class CEncAVI {
  public:
    CEncAVI();
    CEncAVI(const CEncAVI&) = delete;
    CEncAVI& operator=(const CEncAVI&) = delete;
    virtual ~CEncAVI();

    // Writes one uncompressed frame (compressing mode).
    virtual int32_t WriteFrame(const void* bits, int32_t bytes);
    // Completes and releases the file. Returns the first failure of the
    // writing (0 when it all reached the disk). Harmless when nothing is open.
    virtual int32_t Close();
    // Creates the file with one video stream made from the header and the
    // input format (compressing mode). err::kSaveCreate, kVideoStreamMake,
    // kFormatSet, kCodecSelect.
    virtual int32_t Open(const std::string& path);
    virtual int32_t PrepareCompressor();
    virtual void ReleaseCompressor();

    // Copy mode: removes a file of that name, creates it with one video
    // stream of the given header and format (`format_size` bytes).
    // err::kSaveCreate (the file cannot be made), kVideoStreamMake,
    // kFormatSet (format under 40 bytes).
    int32_t OpenForCopy(const std::string& path, const trelvan::AviStreamInfo& header,
                        const void* format, int32_t format_size);
    // Copy mode: stores `bytes` as one sample of the video stream, as they
    // are. err::kStreamWrite on failure.
    int32_t WriteSamples(int32_t samples, const void* bytes, int32_t byte_count, int32_t key_frame);
    // Copy mode: stores `byte_count` bytes of `from` at `offset` (a source
    // file's stored sample) as one sample of the video stream, as they are;
    // between disk files without passing through this process.
    // err::kStreamWrite on failure (of the read or the write).
    int32_t CopySamples(int32_t samples, trelvan::IoFile& from, uint64_t offset, int32_t byte_count,
                        int32_t key_frame);

    // Compressing mode: the header and the BITMAPINFOHEADER (40 bytes and
    // more) of the frames WriteFrame takes.
    void SetInputFormat(const trelvan::AviStreamInfo& header, const std::vector<uint8_t>& format);

    int32_t GetVideoPosition() const { return m_videoPos; }
    const trelvan::AviStreamInfo& GetVideoHeader() const { return m_videoHeader; }
    CEncAVISetting& Settings() { return m_settings; }

    // Test seams: how the output is opened, and the writer's size limits.
    void SetFileOpener(trelvan::FileOpener opener) { m_opener = std::move(opener); }
    void SetWriterLimits(const trelvan::AviWriterLimits& limits) { m_limits = limits; }
    // Chunks of the source kept in the output (see AviWriter); call before
    // the first sample is written.
    void SetDescriptiveChunks(std::vector<trelvan::RiffChunkBytes> chunks) {
        if (m_file) {
            m_file->SetDescriptiveChunks(std::move(chunks));
        }
    }

  protected:
    // Removes an existing file of that name (whatever its permissions); a
    // failure is left to the create that follows.
    static void RemoveExistingOutput(const std::string& path);
    // Creates the output file; err::kSaveCreate when it cannot be made.
    int32_t CreateFile(const std::string& path);
    trelvan::AviWriter* Writer() { return m_file.get(); }
    bool HandlerIsDib() const { return m_settings.m_handler == CEncAVISetting::kHandlerDib; }

    int32_t m_videoPos = 0;
    std::unique_ptr<trelvan::AviWriter> m_file;
    int m_writeStream = -1;  // stream index in the file; -1: none
    int m_rawStream = -1;
    AVICOMPRESSOPTIONS m_options;
    trelvan::AviStreamInfo m_videoHeader;
    std::vector<uint8_t> m_inputFormat;
    CEncAVISetting m_settings;

  private:
    trelvan::FileOpener m_opener = trelvan::DiskFileOpener();
    trelvan::AviWriterLimits m_limits;
};
