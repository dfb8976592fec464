#pragma once

#include "CDecAVI.h"

// Reader of an AVI file's video stream and, in addition, its audio stream
// (the last one of the file), read sequentially from a read position.
class CDecAVIAudio : public CDecAVI {
  public:
    CDecAVIAudio();
    ~CDecAVIAudio() override;

    int32_t Open(const std::string& path) override;
    void Close() override;
    // The owned audio format (at least 18 bytes), or null.
    const uint8_t* GetAudioFormat() override;
    // Fills the audio information and format from the audio stream.
    virtual void ReadAudioInfo();

    bool HasAudio();
    int32_t GetAudioStart();   // first audio sample
    int32_t GetAudioLength();  // number of audio samples
    // Reads at the read position as many whole samples as fit in *bytes
    // (in: buffer size; out: bytes read) and advances the position by the
    // samples read. 0 or err::kStreamRead.
    int32_t ReadAudio(int32_t* samples, void* buffer, int32_t* bytes);
    trelvan::AviStream* GetAudioStream();

    const trelvan::AviStreamInfo& GetAudioInfo() const { return m_audioInfo; }
    // Bytes of the owned audio format (0 when there is none).
    int32_t GetAudioFormatSize() const { return m_audioFormat.GetCount(); }
    uint32_t GetSampleRate() const { return m_sampleRate; }
    int32_t GetReadPosition() const { return m_readPos; }

  protected:
    // Keeps the last audio stream of the file; false when there is none.
    bool SelectAudioStream();

    trelvan::AviStream* m_audio = nullptr;
    trelvan::AviStreamInfo m_audioInfo;
    CMemBuffBase<unsigned char> m_audioFormat;
    int32_t m_readPos = 0;
    uint32_t m_sampleRate = 0;
};
