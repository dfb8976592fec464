#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "AudioConversion.h"
#include "WaveFormatEx.h"

// The progress record of one conversion step: the source and destination
// buffers with their lengths and the lengths the last conversion used. In the
// main step's record the source-user field holds the full source buffer size
// and the destination-user field the read offset into the output buffer.
struct ACMSTREAMHEADER {
    uint32_t cbStruct = 84;
    uint8_t* pbSrc = nullptr;
    uint32_t cbSrcLength = 0;
    uint32_t cbSrcLengthUsed = 0;
    uint32_t dwSrcUser = 0;
    uint8_t* pbDst = nullptr;
    uint32_t cbDstLength = 0;
    uint32_t cbDstLengthUsed = 0;
    uint32_t dwDstUser = 0;
};

// The converter half of the wave file: the data format (what the caller hands
// over or receives), the file format (what the file holds, when it differs),
// an intermediate PCM format for two-step writes, the conversion steps, and
// the byte counters. CWaveFileACM drives it; its state is open to that class.
class CWavACM {
  public:
    CWavACM();
    CWavACM(const CWavACM&) = delete;
    CWavACM& operator=(const CWavACM&) = delete;
    virtual ~CWavACM();

    // Frees buffers, formats and steps and zeroes the counters; the data
    // format stays.
    void Reset();

    // The data format; zero in a new converter (format tag 0).
    WAVEFORMATEX m_dataFormat{};
    // The file format with its tail (256 bytes when set), empty when the file
    // is written in the data format.
    std::vector<uint8_t> m_fileFormat;
    // The intermediate PCM format of a two-step write (18 bytes), if any.
    std::unique_ptr<WAVEFORMATEX> m_midFormat;
    // The main step (data or intermediate format to file format when
    // writing, file format to data format when reading) and the second step
    // (data to intermediate format).
    std::unique_ptr<trelvan::AudioConversion> m_stream;
    std::unique_ptr<trelvan::AudioConversion> m_stream2;
    ACMSTREAMHEADER m_headerA;
    ACMSTREAMHEADER m_headerB;
    std::vector<uint8_t> m_srcBuffer;
    std::vector<uint8_t> m_dstBuffer;
    std::vector<uint8_t> m_midBuffer;   // output of the second step
    std::vector<uint8_t> m_src2Buffer;  // partial sample frames for the second step
    // Bytes of the file format that came from the caller (the rest of the
    // 256 is zero fill).
    size_t m_fileFormatSize = 0;
    // Source bytes waiting in the source buffer; decoded bytes in the
    // destination buffer (reading); end of the data chunk reached (reading).
    uint32_t m_srcFill = 0;
    uint32_t m_dstFill = 0;
    bool m_endOfData = false;
    // Bytes written to (or read from) the data chunk.
    uint32_t m_byteCount = 0;
    // Data chunk size when reading; 0xFFFFFFFF otherwise.
    uint32_t m_byteLimit = 0xFFFFFFFF;
    // Bytes handed to the converting write.
    uint64_t m_inputCount = 0;
};
