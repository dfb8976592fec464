#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AsfHeader.h"
#include "WmResult.h"

namespace trelvan::wm {

// Major media types of a stream configuration (the profile's view of an ASF
// stream type).
inline constexpr asf::Guid kMediaTypeVideo = asf::guid::SubtypeFromTag(0x73646976);  // "vids"
inline constexpr asf::Guid kMediaTypeAudio = asf::guid::SubtypeFromTag(0x73647561);  // "auds"

// A stream's media type, field by field. The format block is a WAVEFORMATEX
// for audio, a VIDEOINFOHEADER (rectangles, bit rate, error rate, frame
// time, then the BITMAPINFOHEADER and its codec data) for video, the stored
// type data otherwise.
struct MediaType {
    asf::Guid majorType;
    asf::Guid subtype;
    bool fixedSizeSamples = false;
    bool temporalCompression = false;
    uint32_t sampleSize = 0;
    asf::Guid formatType;
    std::vector<uint8_t> format;

    bool operator==(const MediaType&) const = default;
};

// Offsets of the bit-rate fields that VBR streams leave out of comparisons.
inline constexpr size_t kVideoInfoBitRate = 32;  // VIDEOINFOHEADER.dwBitRate
inline constexpr size_t kWaveAvgBytes = 8;       // WAVEFORMATEX.nAvgBytesPerSec
inline constexpr size_t kVideoInfoHeaderSize = 48;  // before the BITMAPINFOHEADER

// One stream of a profile. A value: changes reach a profile only through
// AddStream or ReconfigStream.
class StreamConfig {
  public:
    uint16_t GetStreamNumber() const { return m_number; }
    HRESULT SetStreamNumber(uint16_t n);
    uint32_t GetBufferWindow() const { return m_bufferWindow; }  // ms
    void SetBufferWindow(uint32_t ms) { m_bufferWindow = ms; }
    uint32_t GetBitrate() const { return m_bitrate; }  // bits/s
    void SetBitrate(uint32_t b) { m_bitrate = b; }
    const asf::Guid& GetType() const { return m_media.majorType; }
    const MediaType& GetMediaType() const { return m_media; }
    void SetMediaType(MediaType m) { m_media = std::move(m); }
    // The "_VBRENABLED" property (4 bytes); E_INVALIDARG for other names.
    HRESULT GetPropertyDword(const std::string& name, uint32_t& out) const;
    bool IsVbr() const { return m_vbr; }
    void SetVbr(bool v) { m_vbr = v; }
    // The stream's language tag ("en-us"), as its source's Language List
    // names it; empty when it names none.
    const std::string& Language() const { return m_language; }

    // The stream record as read from its source: what a pass-through writer
    // keeps beyond the media type (extended properties, names, language).
    const asf::StreamInfo& Source() const { return m_source; }

    static StreamConfig FromStream(const asf::StreamInfo& s, const asf::AsfHeader& h);

  private:
    uint16_t m_number = 0;
    uint32_t m_bufferWindow = 0;
    uint32_t m_bitrate = 0;
    bool m_vbr = false;
    std::string m_language;
    MediaType m_media;
    asf::StreamInfo m_source;
};

// The streams of a file, in order. Shared between the reader that made it and
// the pages that reshape it; calls take a lock of their own.
class Profile {
  public:
    uint32_t GetStreamCount() const;
    HRESULT GetStream(uint32_t index, StreamConfig& out) const;
    HRESULT GetStreamByNumber(uint16_t number, StreamConfig& out) const;
    HRESULT RemoveStreamByNumber(uint16_t number);
    // kInvalidArg for a number outside 1..127 or one already present.
    HRESULT AddStream(const StreamConfig& s);
    // Replaces the stream of the same number.
    HRESULT ReconfigStream(const StreamConfig& s);

    // Packet size of the source (0: the writer's default) and its preroll
    // (hasPreroll false: the writer's default).
    uint32_t packetSize = 0;
    uint64_t prerollMs = 0;
    bool hasPreroll = false;
    // The source's Language List and Group Mutual Exclusion records, under
    // its stream numbers.
    std::vector<std::string> languages;
    std::vector<asf::MutualExclusion> exclusions;

    static std::shared_ptr<Profile> FromHeader(const asf::AsfHeader& h);

  private:
    mutable std::mutex m_lock;
    std::vector<StreamConfig> m_streams;
};

}  // namespace trelvan::wm
