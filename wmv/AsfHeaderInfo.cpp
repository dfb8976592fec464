#include "AsfHeaderInfo.h"

#include <algorithm>
#include <memory>

#include "AsfByteReader.h"
#include "ByteOrder.h"

namespace trelvan::wm {

namespace {
// Attributes a reader computes from the header; never stored.
const char* const kDerived[] = {
    "Duration",  "Bitrate",  "Seekable", "Stridable", "Broadcast",  "Is_Protected",
    "Is_Trusted", "HasAudio", "HasVideo", "HasScript", "HasImage",  "HasAttachedImages",
    "HasArbitraryDataStream", "HasFileTransferStream", "FileSize", "CurrentBitrate",
    "OptimalBitrate", "Signature_Name", "WM/ContainerFormat", "NumberOfStreams",
};

// What the header objects can hold: 16-bit lengths of names and texts, 16-bit
// counts of records.
constexpr size_t kMaxText = 0xFFFF;
constexpr size_t kMaxRecords = 0xFFFF;

bool TextFits(const std::string& s) { return asf::Utf8ToUtf16(s).size() <= kMaxText; }

bool ValueFits(uint16_t type, size_t n) {
    switch (type) {
        case asf::kAttrDword:
        case asf::kAttrBool: return n == 4;
        case asf::kAttrQword: return n == 8;
        case asf::kAttrWord: return n == 2;
        case asf::kAttrGuid: return n == 16;
        case asf::kAttrString: return n % 2 == 0;
        case asf::kAttrBinary: return true;
        default: return false;
    }
}
}  // namespace

std::vector<uint8_t> AttrQword(uint64_t v) {
    std::vector<uint8_t> b(8);
    bytes::PutLE64(b.data(), v);
    return b;
}
std::vector<uint8_t> AttrDword(uint32_t v) {
    std::vector<uint8_t> b(4);
    bytes::PutLE32(b.data(), v);
    return b;
}
std::vector<uint8_t> AttrBool(bool v) { return AttrDword(v ? 1 : 0); }
std::vector<uint8_t> AttrString(const std::string& utf8) {
    const std::string s = asf::Utf8ToUtf16(utf8);
    return std::vector<uint8_t>(s.begin(), s.end());
}

bool HeaderInfo::IsDerived(const std::string& name) {
    return std::any_of(std::begin(kDerived), std::end(kDerived),
                       [&](const char* d) { return name == d; });
}

uint16_t HeaderInfo::GetAttributeCount(uint16_t stream) const {
    std::lock_guard<std::mutex> g(m_lock);
    return static_cast<uint16_t>(std::count_if(m_attributes.begin(), m_attributes.end(),
                                               [&](const asf::Attribute& a) { return a.stream == stream; }));
}

HRESULT HeaderInfo::GetAttributeByIndex(uint16_t stream, uint16_t index, asf::Attribute& out) const {
    std::lock_guard<std::mutex> g(m_lock);
    uint16_t i = 0;
    for (const asf::Attribute& a : m_attributes) {
        if (a.stream == stream && i++ == index) {
            out = a;
            return hr::kOk;
        }
    }
    return hr::kInvalidArg;
}

HRESULT HeaderInfo::GetAttributeByName(uint16_t stream, const std::string& name,
                                       asf::Attribute& out) const {
    std::lock_guard<std::mutex> g(m_lock);
    for (const asf::Attribute& a : m_attributes) {
        if (a.stream == stream && a.name == name) {
            out = a;
            return hr::kOk;
        }
    }
    return hr::kInvalidArg;
}

HRESULT HeaderInfo::SetAttribute(uint16_t stream, const std::string& name, uint16_t type,
                                 const std::vector<uint8_t>& value) {
    if (!m_writable || IsDerived(name) || stream > 127 || name.empty() || !TextFits(name) ||
        !ValueFits(type, value.size()) || value.size() > 0xFFFFFFFFull) {
        return hr::kInvalidArg;
    }
    std::lock_guard<std::mutex> g(m_lock);
    for (asf::Attribute& a : m_attributes) {
        if (a.stream == stream && a.name == name) {
            a.type = type;
            a.value = value;
            return hr::kOk;
        }
    }
    if (m_attributes.size() >= kMaxRecords) {
        return hr::kInvalidArg;
    }
    asf::Attribute a;
    a.stream = stream;
    a.name = name;
    a.type = type;
    a.value = value;
    m_attributes.push_back(std::move(a));
    return hr::kOk;
}

uint32_t HeaderInfo::GetCodecInfoCount() const {
    std::lock_guard<std::mutex> g(m_lock);
    return static_cast<uint32_t>(m_codecs.size());
}

HRESULT HeaderInfo::GetCodecInfo(uint32_t index, asf::CodecInfo& out) const {
    std::lock_guard<std::mutex> g(m_lock);
    if (index >= m_codecs.size()) {
        return hr::kInvalidArg;
    }
    out = m_codecs[index];
    return hr::kOk;
}

HRESULT HeaderInfo::AddCodecInfo(const asf::CodecInfo& c) {
    if (!m_writable || !TextFits(c.name) || !TextFits(c.description) || c.info.size() > kMaxText) {
        return hr::kInvalidArg;
    }
    std::lock_guard<std::mutex> g(m_lock);
    m_codecs.push_back(c);
    return hr::kOk;
}

uint16_t HeaderInfo::GetScriptCount() const {
    std::lock_guard<std::mutex> g(m_lock);
    return static_cast<uint16_t>(std::min<size_t>(m_scripts.size(), 0xFFFF));
}

HRESULT HeaderInfo::GetScript(uint16_t index, asf::Script& out) const {
    std::lock_guard<std::mutex> g(m_lock);
    if (index >= m_scripts.size()) {
        return hr::kInvalidArg;
    }
    out = m_scripts[index];
    return hr::kOk;
}

HRESULT HeaderInfo::AddScript(const asf::Script& s) {
    if (!m_writable || !TextFits(s.type) || !TextFits(s.command) || s.time / 10000 > 0xFFFFFFFFull) {
        return hr::kInvalidArg;
    }
    std::lock_guard<std::mutex> g(m_lock);
    if (m_scripts.size() >= kMaxRecords) {
        return hr::kInvalidArg;
    }
    m_scripts.push_back(s);
    return hr::kOk;
}

std::vector<asf::Attribute> HeaderInfo::Attributes() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_attributes;
}
std::vector<asf::CodecInfo> HeaderInfo::Codecs() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_codecs;
}
std::vector<asf::Script> HeaderInfo::Scripts() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_scripts;
}

std::unique_ptr<HeaderInfo> HeaderInfo::ForReader(const asf::AsfHeader& h, uint64_t duration,
                                                  uint64_t file_size, bool seekable) {
    auto info = std::make_unique<HeaderInfo>(false);
    bool audio = false, video = false, script = false, image = false;
    for (const asf::StreamInfo& s : h.streams) {
        audio = audio || s.IsAudio();
        video = video || s.IsVideo();
        script = script || s.type == asf::guid::kCommandMedia;
        image = image || s.type == asf::guid::kJfifMedia;
    }
    auto add = [&](const char* name, uint16_t type, std::vector<uint8_t> v) {
        asf::Attribute a;
        a.name = name;
        a.type = type;
        a.value = std::move(v);
        info->m_attributes.push_back(std::move(a));
    };
    add("Duration", asf::kAttrQword, AttrQword(duration));
    add("Bitrate", asf::kAttrDword, AttrDword(h.props.maxBitrate));
    add("Seekable", asf::kAttrBool, AttrBool(seekable));
    add("Stridable", asf::kAttrBool, AttrBool(false));
    add("Broadcast", asf::kAttrBool, AttrBool((h.props.flags & 1) != 0));
    add("Is_Protected", asf::kAttrBool, AttrBool(h.isProtected));
    add("HasAudio", asf::kAttrBool, AttrBool(audio));
    add("HasVideo", asf::kAttrBool, AttrBool(video));
    add("HasScript", asf::kAttrBool, AttrBool(script || !h.scripts.empty()));
    add("HasImage", asf::kAttrBool, AttrBool(image));
    add("FileSize", asf::kAttrQword, AttrQword(file_size));
    for (const asf::Attribute& a : h.attributes) {
        if (!IsDerived(a.name)) {
            info->m_attributes.push_back(a);
        }
    }
    info->m_codecs = h.codecs;
    info->m_scripts = h.scripts;
    return info;
}

}  // namespace trelvan::wm
