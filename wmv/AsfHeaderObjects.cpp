#include "AsfHeaderObjects.h"

#include <algorithm>
#include <iterator>

namespace trelvan::asf {

namespace {

using Parser = HRESULT (*)(ByteReader&, AsfHeader&);
struct Handler {
    Guid id;
    Parser parse;
};

HRESULT Skip(ByteReader&, AsfHeader&) { return wm::hr::kOk; }

// The objects this layer reads, in the Header Object and in the Header
// Extension alike (readers are to accept either placement).
constexpr Handler kHandlers[] = {
    {guid::kFileProperties, FilePropertiesObject::Parse},
    {guid::kStreamProperties, StreamPropertiesObject::Parse},
    {guid::kHeaderExtension, HeaderExtensionObject::Parse},
    {guid::kExtendedStreamProperties, ExtendedStreamPropertiesObject::Parse},
    {guid::kCodecList, CodecListObject::Parse},
    {guid::kScriptCommand, ScriptCommandObject::Parse},
    {guid::kMarker, MarkerObject::Parse},
    {guid::kContentDescription, ContentDescriptionObject::Parse},
    {guid::kExtendedContentDescription, ExtendedContentDescriptionObject::Parse},
    {guid::kMetadata, MetadataObject::Parse},
    {guid::kMetadataLibrary, MetadataObject::ParseLibrary},
    {guid::kLanguageList, LanguageListObject::Parse},
    {guid::kGroupMutualExclusion, GroupMutualExclusionObject::Parse},
    {guid::kStreamBitrateProperties, StreamBitratePropertiesObject::Parse},
    {guid::kContentEncryption, ProtectionObject::Parse},
    {guid::kExtendedContentEncryption, ProtectionObject::Parse},
    {guid::kAdvancedContentEncryption, ProtectionObject::Parse},
    {guid::kPlayReadyHeader, ProtectionObject::Parse},
    {guid::kPadding, Skip},
};

// Walks objects back to back in [p, p + n) and hands each body to its parser.
// `depth` stops a Header Extension nested in itself from recursing.
HRESULT ParseObjects(const uint8_t* p, size_t n, AsfHeader& h, int depth) {
    ByteReader list(p, n);
    while (list.Remaining() >= 24) {
        const Guid id = list.ReadGuid();
        const uint64_t size = list.U64();
        if (size < 24 || size - 24 > list.Remaining()) {
            return wm::hr::kBadHeader;
        }
        const size_t body = static_cast<size_t>(size - 24);
        ByteReader r(list.Here(), body);
        list.Skip(body);
        const auto it = std::find_if(std::begin(kHandlers), std::end(kHandlers),
                                     [&](const Handler& x) { return x.id == id; });
        if (it == std::end(kHandlers)) {
            continue;
        }
        if (id == guid::kHeaderExtension && depth > 0) {
            continue;
        }
        HRESULT hr = it->parse(r, h);
        if (hr == wm::hr::kOk && !r.Ok()) {
            hr = wm::hr::kBadHeader;
        }
        if (wm::Failed(hr)) {
            return hr;
        }
    }
    return wm::hr::kOk;
}

std::vector<uint8_t> Copy(ByteReader& r, size_t n) {
    const uint8_t* p = r.Bytes(n);
    return p != nullptr ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
}

// A value as stored, converted to the API's form (BOOL widened to 4 bytes).
void AddAttribute(AsfHeader& h, uint16_t stream, uint16_t language, std::string name,
                  uint16_t disk_type, std::vector<uint8_t> value) {
    Attribute a;
    a.stream = stream;
    a.language = language;
    a.name = std::move(name);
    a.type = AttrTypeFromDisk(disk_type);
    if (a.type == kAttrBool) {
        const uint32_t v = std::any_of(value.begin(), value.end(), [](uint8_t b) { return b != 0; });
        value = {static_cast<uint8_t>(v), 0, 0, 0};
    }
    a.value = std::move(value);
    h.attributes.push_back(std::move(a));
}

}  // namespace

uint16_t AttrTypeFromDisk(uint16_t disk) {
    switch (disk) {
        case 0: return kAttrString;
        case 1: return kAttrBinary;
        case 2: return kAttrBool;
        case 3: return kAttrDword;
        default: return disk;  // QWORD 4, WORD 5, GUID 6 agree
    }
}

uint16_t AttrTypeToDisk(uint16_t api) {
    switch (api) {
        case kAttrString: return 0;
        case kAttrBinary: return 1;
        case kAttrBool: return 2;
        case kAttrDword: return 3;
        default: return api;
    }
}

HRESULT ParseHeaderObject(const uint8_t* p, size_t n, AsfHeader& out) {
    ByteReader r(p, n);
    if (r.ReadGuid() != guid::kHeader) {
        return wm::hr::kNotAsf;
    }
    const uint64_t size = r.U64();
    r.U32();  // object count: readers walk the sizes instead
    r.U8();
    r.U8();
    if (!r.Ok() || size < 30 || size > n) {
        return wm::hr::kBadHeader;
    }
    HRESULT hr = ParseObjects(p + 30, static_cast<size_t>(size - 30), out, 0);
    if (wm::Failed(hr)) {
        return hr;
    }
    if (!out.hasFileProperties) {
        return wm::hr::kBadHeader;
    }
    // Objects may come in any order: bitrates and extended properties are
    // joined to their streams once all are read, and an extended record
    // whose stream never got Stream Properties is dropped.
    std::erase_if(out.streams, [](const StreamInfo& s) { return s.type == Guid{}; });
    for (const auto& [number, bitrate] : out.bitrates) {
        if (StreamInfo* s = out.Stream(number)) {
            s->bitrate = bitrate;
        }
    }
    for (const StreamInfo& s : out.streams) {
        out.isProtected = out.isProtected || s.encrypted;
        for (const ExtensionSystem& e : s.ext.extensions) {
            out.isProtected = out.isProtected || e.id == guid::kExtEncryptionSampleId;
        }
    }
    return out.isProtected ? wm::hr::kProtected : wm::hr::kOk;
}

HRESULT FilePropertiesObject::Parse(ByteReader& r, AsfHeader& h) {
    FileProperties& f = h.props;
    f.fileId = r.ReadGuid();
    f.fileSize = r.U64();
    f.creationDate = r.U64();
    f.packetCount = r.U64();
    f.playDuration = r.U64();
    f.sendDuration = r.U64();
    f.prerollMs = r.U64();
    f.flags = r.U32();
    f.minPacketSize = r.U32();
    f.maxPacketSize = r.U32();
    f.maxBitrate = r.U32();
    h.hasFileProperties = r.Ok();
    return wm::hr::kOk;
}

HRESULT StreamPropertiesObject::Parse(ByteReader& r, AsfHeader& h) {
    StreamInfo s;
    s.type = r.ReadGuid();
    s.errorCorrection = r.ReadGuid();
    s.timeOffset = r.U64();
    const uint32_t type_len = r.U32();
    const uint32_t ec_len = r.U32();
    const uint16_t flags = r.U16();
    r.U32();
    if (!r.Ok() || type_len > r.Remaining() || ec_len > r.Remaining() - type_len) {
        return wm::hr::kBadHeader;
    }
    s.typeData = Copy(r, type_len);
    s.errorData = Copy(r, ec_len);
    s.number = flags & 0x7F;
    s.encrypted = (flags & 0x8000) != 0;
    if (s.number == 0) {
        return wm::hr::kBadHeader;
    }
    // A second record of one number (a hidden stream's copy inside its
    // Extended Stream Properties) completes the first instead of adding one.
    // A record that only Extended Stream Properties made so far moves to
    // the end: streams are listed in the order of their Stream Properties,
    // wherever the extension stands.
    if (StreamInfo* old = h.Stream(s.number)) {
        const bool extension_only = old->type == Guid{};
        s.ext = std::move(old->ext);
        s.bitrate = old->bitrate;
        if (extension_only) {
            h.streams.erase(h.streams.begin() + (old - h.streams.data()));
            h.streams.push_back(std::move(s));
        } else {
            *old = std::move(s);
        }
    } else {
        h.streams.push_back(std::move(s));
    }
    return wm::hr::kOk;
}

HRESULT HeaderExtensionObject::Parse(ByteReader& r, AsfHeader& h) {
    r.ReadGuid();
    r.U16();
    const uint32_t data_size = r.U32();
    if (!r.Ok() || data_size > r.Remaining()) {
        return wm::hr::kBadHeader;
    }
    return ParseObjects(r.Bytes(data_size), data_size, h, 1);
}

HRESULT ExtendedStreamPropertiesObject::Parse(ByteReader& r, AsfHeader& h) {
    ExtendedStreamProps e;
    e.present = true;
    e.startTimeMs = r.U64();
    e.endTimeMs = r.U64();
    e.dataBitrate = r.U32();
    e.bufferSize = r.U32();
    e.initialFullness = r.U32();
    e.altDataBitrate = r.U32();
    e.altBufferSize = r.U32();
    e.altInitialFullness = r.U32();
    e.maxObjectSize = r.U32();
    e.flags = r.U32();
    const uint16_t number = r.U16() & 0x7F;
    e.languageIndex = r.U16();
    e.avgTimePerFrame = r.U64();
    const uint16_t name_count = r.U16();
    const uint16_t ext_count = r.U16();
    // Each name takes at least 4 bytes, each extension system 22.
    if (!r.Ok() || name_count > r.Remaining() / 4 || ext_count > r.Remaining() / 22) {
        return wm::hr::kBadHeader;
    }
    for (uint16_t i = 0; i < name_count && r.Ok(); ++i) {
        StreamName n;
        n.languageIndex = r.U16();
        n.name = r.Utf16(r.U16());
        e.names.push_back(std::move(n));
    }
    for (uint16_t i = 0; i < ext_count && r.Ok(); ++i) {
        ExtensionSystem x;
        x.id = r.ReadGuid();
        x.dataSize = r.U16();
        const uint32_t info_len = r.U32();
        if (info_len > r.Remaining()) {
            return wm::hr::kBadHeader;
        }
        x.info = Copy(r, info_len);
        e.extensions.push_back(std::move(x));
    }
    if (!r.Ok()) {
        return wm::hr::kBadHeader;
    }
    // An embedded Stream Properties Object (a hidden stream) may follow.
    if (r.Remaining() >= 24) {
        const size_t rest = r.Remaining();
        const HRESULT hr = ParseObjects(r.Bytes(rest), rest, h, 1);
        if (wm::Failed(hr)) {
            return hr;
        }
    }
    if (number == 0) {
        return wm::hr::kOk;
    }
    if (StreamInfo* s = h.Stream(number)) {
        s->ext = std::move(e);
    } else {
        // Its Stream Properties come later: keep the record under its number.
        StreamInfo s2;
        s2.number = number;
        s2.ext = std::move(e);
        h.streams.push_back(std::move(s2));
    }
    return wm::hr::kOk;
}

HRESULT CodecListObject::Parse(ByteReader& r, AsfHeader& h) {
    r.ReadGuid();
    const uint32_t count = r.U32();
    if (!r.Ok() || count > r.Remaining() / 8) {  // an entry takes at least 8 bytes
        return wm::hr::kBadHeader;
    }
    for (uint32_t i = 0; i < count && r.Ok(); ++i) {
        CodecInfo c;
        const uint16_t type = r.U16();
        c.type = type == 1 ? kCodecVideo : type == 2 ? kCodecAudio : kCodecUnknown;
        c.name = r.Utf16(static_cast<size_t>(r.U16()) * 2);
        c.description = r.Utf16(static_cast<size_t>(r.U16()) * 2);
        c.info = Copy(r, r.U16());
        if (r.Ok()) {
            h.codecs.push_back(std::move(c));
        }
    }
    return wm::hr::kOk;
}

HRESULT ScriptCommandObject::Parse(ByteReader& r, AsfHeader& h) {
    r.ReadGuid();
    const uint16_t commands = r.U16();
    const uint16_t types_count = r.U16();
    if (!r.Ok() || types_count > r.Remaining() / 2 || commands > r.Remaining() / 8) {
        return wm::hr::kBadHeader;
    }
    std::vector<std::string> types;
    for (uint16_t i = 0; i < types_count && r.Ok(); ++i) {
        types.push_back(r.Utf16(static_cast<size_t>(r.U16()) * 2));
    }
    for (uint16_t i = 0; i < commands && r.Ok(); ++i) {
        Script s;
        s.time = static_cast<uint64_t>(r.U32()) * 10000;
        const uint16_t type_index = r.U16();
        s.command = r.Utf16(static_cast<size_t>(r.U16()) * 2);
        if (type_index < types.size()) {
            s.type = types[type_index];
        }
        if (r.Ok()) {
            h.scripts.push_back(std::move(s));
        }
    }
    return wm::hr::kOk;
}

HRESULT MarkerObject::Parse(ByteReader& r, AsfHeader& h) {
    r.ReadGuid();
    const uint32_t count = r.U32();
    r.U16();
    r.Skip(r.U16());  // name
    if (!r.Ok() || count > r.Remaining() / 28) {
        return wm::hr::kBadHeader;
    }
    for (uint32_t i = 0; i < count && r.Ok(); ++i) {
        Marker m;
        m.offset = r.U64();
        m.time = r.U64();
        r.U16();
        m.sendTimeMs = r.U32();
        r.U32();
        const uint32_t chars = r.U32();
        if (chars > r.Remaining() / 2) {
            return wm::hr::kBadHeader;
        }
        m.description = r.Utf16(static_cast<size_t>(chars) * 2);
        if (r.Ok()) {
            h.markers.push_back(std::move(m));
        }
    }
    return wm::hr::kOk;
}

HRESULT ContentDescriptionObject::Parse(ByteReader& r, AsfHeader& h) {
    static const char* const kNames[] = {"Title", "Author", "Copyright", "Description", "Rating"};
    uint16_t lengths[5];
    for (uint16_t& n : lengths) {
        n = r.U16();
    }
    for (int i = 0; i < 5 && r.Ok(); ++i) {
        std::vector<uint8_t> v = Copy(r, lengths[i]);
        if (!r.Ok()) {
            break;
        }
        // Stored with their own terminator; an empty field is not an attribute.
        if (!Utf16ToUtf8(v.data(), v.size()).empty()) {
            const std::string s = Utf8ToUtf16(Utf16ToUtf8(v.data(), v.size()));
            AddAttribute(h, 0, 0, kNames[i], 0, std::vector<uint8_t>(s.begin(), s.end()));
        }
    }
    return wm::hr::kOk;
}

HRESULT ExtendedContentDescriptionObject::Parse(ByteReader& r, AsfHeader& h) {
    const uint16_t count = r.U16();
    if (!r.Ok() || count > r.Remaining() / 6) {
        return wm::hr::kBadHeader;
    }
    for (uint16_t i = 0; i < count && r.Ok(); ++i) {
        uint16_t name_len = r.U16();
        name_len += name_len & 1;  // some writers stored odd lengths
        std::string name = r.Utf16(name_len);
        const uint16_t type = r.U16();
        std::vector<uint8_t> value = Copy(r, r.U16());
        if (r.Ok()) {
            AddAttribute(h, 0, 0, std::move(name), type, std::move(value));
        }
    }
    return wm::hr::kOk;
}

namespace {
HRESULT ParseMetadataRecords(ByteReader& r, AsfHeader& h, bool library) {
    const uint16_t count = r.U16();
    if (!r.Ok() || count > r.Remaining() / 12) {
        return wm::hr::kBadHeader;
    }
    for (uint16_t i = 0; i < count && r.Ok(); ++i) {
        const uint16_t language = r.U16();
        const uint16_t stream = r.U16();
        const uint16_t name_len = r.U16();
        const uint16_t type = r.U16();
        const uint32_t data_len = r.U32();
        std::string name = r.Utf16(name_len);
        if (!r.Ok() || data_len > r.Remaining()) {
            return wm::hr::kBadHeader;
        }
        std::vector<uint8_t> value = Copy(r, data_len);
        AddAttribute(h, stream & 0x7F, library ? language : 0, std::move(name), type,
                     std::move(value));
    }
    return wm::hr::kOk;
}
}  // namespace

HRESULT MetadataObject::Parse(ByteReader& r, AsfHeader& h) { return ParseMetadataRecords(r, h, false); }
HRESULT MetadataObject::ParseLibrary(ByteReader& r, AsfHeader& h) {
    return ParseMetadataRecords(r, h, true);
}

HRESULT LanguageListObject::Parse(ByteReader& r, AsfHeader& h) {
    const uint16_t count = r.U16();
    if (!r.Ok() || count > r.Remaining()) {
        return wm::hr::kBadHeader;
    }
    for (uint16_t i = 0; i < count && r.Ok(); ++i) {
        std::string tag = r.Utf16(r.U8());
        if (r.Ok()) {
            h.languages.push_back(std::move(tag));
        }
    }
    return wm::hr::kOk;
}

HRESULT GroupMutualExclusionObject::Parse(ByteReader& r, AsfHeader& h) {
    MutualExclusion m;
    m.type = r.ReadGuid();
    const uint16_t groups = r.U16();
    if (!r.Ok() || groups > r.Remaining() / 2) {
        return wm::hr::kBadHeader;
    }
    for (uint16_t i = 0; i < groups && r.Ok(); ++i) {
        const uint16_t count = r.U16();
        if (!r.Ok() || count > r.Remaining() / 2) {
            return wm::hr::kBadHeader;
        }
        std::vector<uint16_t>& g = m.groups.emplace_back();
        for (uint16_t k = 0; k < count; ++k) {
            g.push_back(r.U16() & 0x7F);
        }
    }
    h.exclusions.push_back(std::move(m));
    return wm::hr::kOk;
}

HRESULT StreamBitratePropertiesObject::Parse(ByteReader& r, AsfHeader& h) {
    const uint16_t count = r.U16();
    if (!r.Ok() || count > r.Remaining() / 6) {
        return wm::hr::kBadHeader;
    }
    for (uint16_t i = 0; i < count && r.Ok(); ++i) {
        const uint16_t number = r.U16() & 0x7F;
        const uint32_t bitrate = r.U32();
        h.bitrates.emplace_back(number, bitrate);
    }
    return wm::hr::kOk;
}

HRESULT ProtectionObject::Parse(ByteReader&, AsfHeader& h) {
    h.isProtected = true;
    return wm::hr::kOk;
}

StreamInfo* AsfHeader::Stream(uint16_t number) {
    for (StreamInfo& s : streams) {
        if (s.number == number) {
            return &s;
        }
    }
    return nullptr;
}

const StreamInfo* AsfHeader::Stream(uint16_t number) const {
    return const_cast<AsfHeader*>(this)->Stream(number);
}

}  // namespace trelvan::asf
