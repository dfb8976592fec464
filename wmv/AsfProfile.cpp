#include "AsfProfile.h"

#include <algorithm>

#include "ByteOrder.h"

namespace trelvan::wm {

namespace {

bool FileIsVbr(const asf::AsfHeader& h) {
    for (const asf::Attribute& a : h.attributes) {
        if (a.stream == 0 && a.name == "IsVBR" && !a.value.empty()) {
            return a.value[0] != 0;
        }
    }
    return false;
}

MediaType MediaTypeOf(const asf::StreamInfo& s, uint32_t bitrate) {
    MediaType m;
    const std::vector<uint8_t>& d = s.typeData;
    if (s.IsAudio()) {
        m.majorType = kMediaTypeAudio;
        m.subtype = asf::guid::SubtypeFromTag(d.size() >= 2 ? bytes::GetLE16(d.data()) : 0);
        m.fixedSizeSamples = true;
        m.sampleSize = d.size() >= 14 ? bytes::GetLE16(d.data() + 12) : 0;
        m.formatType = asf::guid::kFormatWaveFormatEx;
        m.format = d;
    } else if (s.IsVideo() && d.size() >= 11 + 40) {
        // Video type data: width, height, flags, format size, then the
        // BITMAPINFOHEADER with its codec data.
        m.majorType = kMediaTypeVideo;
        m.subtype = asf::guid::SubtypeFromTag(bytes::GetLE32(d.data() + 11 + 16));
        m.temporalCompression = true;
        m.formatType = asf::guid::kFormatVideoInfo;
        m.format.assign(kVideoInfoHeaderSize, 0);
        const uint32_t w = bytes::GetLE32(d.data());
        const uint32_t h = bytes::GetLE32(d.data() + 4);
        bytes::PutLE32(m.format.data() + 8, w);
        bytes::PutLE32(m.format.data() + 12, h);
        bytes::PutLE32(m.format.data() + 24, w);
        bytes::PutLE32(m.format.data() + 28, h);
        bytes::PutLE32(m.format.data() + kVideoInfoBitRate, bitrate);
        bytes::PutLE64(m.format.data() + 40, s.ext.avgTimePerFrame);
        m.format.insert(m.format.end(), d.begin() + 11, d.end());
    } else {
        m.majorType = s.type;
        m.subtype = s.type;
        m.formatType = asf::guid::kFormatNone;
        m.format = d;
    }
    return m;
}

}  // namespace

HRESULT StreamConfig::SetStreamNumber(uint16_t n) {
    if (n == 0 || n > 127) {
        return hr::kInvalidArg;
    }
    m_number = n;
    return hr::kOk;
}

HRESULT StreamConfig::GetPropertyDword(const std::string& name, uint32_t& out) const {
    if (name != "_VBRENABLED") {
        return hr::kInvalidArg;
    }
    out = m_vbr ? 1 : 0;
    return hr::kOk;
}

StreamConfig StreamConfig::FromStream(const asf::StreamInfo& s, const asf::AsfHeader& h) {
    StreamConfig c;
    c.m_number = s.number;
    c.m_source = s;
    uint32_t bitrate = s.bitrate;
    if (bitrate == 0) {
        bitrate = s.ext.dataBitrate;
    }
    if (bitrate == 0 && s.IsAudio() && s.typeData.size() >= 12) {
        bitrate = bytes::GetLE32(s.typeData.data() + 8) * 8;
    }
    c.m_bitrate = bitrate;
    // The buffer window is the leaky bucket of the extended properties, the
    // file's preroll when the stream has none.
    c.m_bufferWindow = s.ext.present ? s.ext.bufferSize : static_cast<uint32_t>(h.props.prerollMs);
    c.m_vbr = FileIsVbr(h);
    if (s.ext.present && s.ext.languageIndex < h.languages.size()) {
        c.m_language = h.languages[s.ext.languageIndex];
    }
    c.m_media = MediaTypeOf(s, bitrate);
    return c;
}

uint32_t Profile::GetStreamCount() const {
    std::lock_guard<std::mutex> g(m_lock);
    return static_cast<uint32_t>(m_streams.size());
}

HRESULT Profile::GetStream(uint32_t index, StreamConfig& out) const {
    std::lock_guard<std::mutex> g(m_lock);
    if (index >= m_streams.size()) {
        return hr::kInvalidArg;
    }
    out = m_streams[index];
    return hr::kOk;
}

HRESULT Profile::GetStreamByNumber(uint16_t number, StreamConfig& out) const {
    std::lock_guard<std::mutex> g(m_lock);
    for (const StreamConfig& s : m_streams) {
        if (s.GetStreamNumber() == number) {
            out = s;
            return hr::kOk;
        }
    }
    return hr::kInvalidArg;
}

HRESULT Profile::RemoveStreamByNumber(uint16_t number) {
    std::lock_guard<std::mutex> g(m_lock);
    const auto before = m_streams.size();
    std::erase_if(m_streams, [&](const StreamConfig& s) { return s.GetStreamNumber() == number; });
    return m_streams.size() != before ? hr::kOk : hr::kInvalidArg;
}

HRESULT Profile::AddStream(const StreamConfig& s) {
    std::lock_guard<std::mutex> g(m_lock);
    const uint16_t n = s.GetStreamNumber();
    if (n == 0 || n > 127 ||
        std::any_of(m_streams.begin(), m_streams.end(),
                    [&](const StreamConfig& x) { return x.GetStreamNumber() == n; })) {
        return hr::kInvalidArg;
    }
    m_streams.push_back(s);
    return hr::kOk;
}

HRESULT Profile::ReconfigStream(const StreamConfig& s) {
    std::lock_guard<std::mutex> g(m_lock);
    for (StreamConfig& x : m_streams) {
        if (x.GetStreamNumber() == s.GetStreamNumber()) {
            x = s;
            return hr::kOk;
        }
    }
    return hr::kInvalidArg;
}

std::shared_ptr<Profile> Profile::FromHeader(const asf::AsfHeader& h) {
    auto p = std::make_shared<Profile>();
    for (const asf::StreamInfo& s : h.streams) {
        p->m_streams.push_back(StreamConfig::FromStream(s, h));
    }
    p->packetSize = std::max(h.props.minPacketSize, h.props.maxPacketSize);
    p->prerollMs = h.props.prerollMs;
    p->hasPreroll = h.hasFileProperties;
    p->languages = h.languages;
    p->exclusions = h.exclusions;
    return p;
}

}  // namespace trelvan::wm
