#pragma once

#include <memory>
#include <string>

#include "AviFile.h"
#include "CDecMovie.h"
#include "IoFile.h"

namespace trelvan {
class AviFrameDecoder;
}

// Reader of an AVI file's video stream: opens the file, selects the video
// stream of best (lowest) priority, reads its samples, key flags and format,
// and decodes frames to pictures.
class CDecAVI : public CDecMovie {
  public:
    CDecAVI();
    ~CDecAVI() override;

    int32_t Open(const std::string& path) override;
    // What the open file says about itself (see AviFile::DescriptiveChunks).
    std::vector<trelvan::RiffChunkBytes> DescriptiveChunks() const {
        return m_file ? m_file->DescriptiveChunks() : std::vector<trelvan::RiffChunkBytes>{};
    }
    int32_t GetFrame(int32_t index, const uint8_t** bits) override;
    void Close() override;
    // Fills rate, scale, length, size and the three texts from the video
    // stream.
    virtual void ReadVideoInfo();

    // Reads the sample at pos: *samples and *bytes get the counts. A sample
    // of 0 bytes (a dropped frame) returns 0 at once and leaves *buffer
    // untouched; otherwise *buffer (realloc-owned, the caller frees it) is
    // grown to the byte size and filled. 0, err::kStreamRead or err::kMemory.
    int32_t ReadVideoSample(int32_t pos, int32_t* samples, void** buffer, int32_t* bytes);
    bool IsKeyFrame(int32_t pos);
    // The video format as stored in a malloc'ed buffer the caller frees.
    // 0, err::kStreamFormat or err::kMemory.
    int32_t ReadVideoFormat(uint8_t** buffer, int32_t* size);
    int32_t GetVideoStart();
    trelvan::AviStream* GetVideoStream();

    // The texts: stream type, stream handler and picture compression, each
    // the first four characters of its code.
    const std::string& GetStreamType() const { return m_streamType; }
    const std::string& GetStreamHandler() const { return m_streamHandler; }
    const std::string& GetCompression() const { return m_compression; }
    const trelvan::AviStreamInfo& GetVideoInfo() const { return m_videoInfo; }

    // How files are opened (tests inject faults here).
    void SetFileOpener(trelvan::FileOpener opener) { m_opener = std::move(opener); }

  protected:
    // Opens the file into m_file; 0 or err::kFileOpen.
    int32_t OpenFile(const std::string& path);

    std::unique_ptr<trelvan::AviFrameDecoder> m_frameDecoder;
    std::string m_streamType;
    std::string m_streamHandler;
    std::string m_compression;
    trelvan::AviStreamInfo m_videoInfo;
    trelvan::AviStream* m_video = nullptr;
    std::shared_ptr<trelvan::AviFile> m_file;
    trelvan::FileOpener m_opener = trelvan::DiskFileOpener();
};

namespace trelvan {
// The first four characters of a four-character code, stopping at a zero
// byte (as "%4.4s" prints it).
std::string FourCCText(uint32_t code);
// Codes 0 and 1 as the readers show them ("None", "Rle8").
uint32_t NamedCode(uint32_t code);
}  // namespace trelvan
