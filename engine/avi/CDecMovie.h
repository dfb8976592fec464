#pragma once

#include <cstdint>
#include <string>

#include "BitmapInfoHeader.h"
#include "MemBuffBase.h"

// The base of the movie and audio readers: the picture header of the last
// decoded frame, the picture size, rate, scale and length of the video, and
// an 18-byte audio format that derived readers may fill.
class CDecMovie {
  public:
    CDecMovie();
    virtual ~CDecMovie();
    CDecMovie(const CDecMovie&) = delete;
    CDecMovie& operator=(const CDecMovie&) = delete;

    // Opens the file and selects streams; 0 or an error code.
    virtual int32_t Open(const std::string& path) = 0;
    // Decodes one frame; *bits gets the picture rows (after the header).
    // Returns the index, or -1.
    virtual int32_t GetFrame(int32_t index, const uint8_t** bits) = 0;
    // Releases everything; clears the picture header and the audio format.
    virtual void Close();
    // rate / scale (0 when the scale is 0).
    virtual double GetFrameRate();
    virtual int32_t GetLength();
    virtual int32_t GetWidth();
    virtual int32_t GetHeight();
    // Copies the picture header as an uncompressed header without palette
    // (compression and colour counts cleared).
    virtual void GetPictureHeader(BITMAPINFOHEADER* destination);
    virtual bool HasAudioFormat();
    // The audio format bytes (WAVEFORMATEX as stored, little-endian, at
    // least 18 bytes), or null.
    virtual const uint8_t* GetAudioFormat();
    // An operation every reader answers with 0.
    virtual int32_t Reserved(int32_t a, int32_t b, int32_t c);

  protected:
    BITMAPINFOHEADER m_pictureHeader{};
    CMemBuffBase<unsigned char> m_buffer;
    int32_t m_width = 0;
    int32_t m_height = 0;
    uint32_t m_rate = 0;
    uint32_t m_scale = 0;
    int32_t m_length = 0;
    uint8_t m_audioFormat18[18] = {};
    // Storage here means m_audioFormat18 is valid.
    CMemBuffBase<unsigned char> m_audioFormatValid;
};
