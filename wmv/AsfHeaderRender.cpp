#include "AsfHeaderRender.h"

#include <algorithm>

#include "AsfByteReader.h"
#include "AsfHeaderObjects.h"

namespace trelvan::asf::render {

namespace {

// Attributes go where their kind allows: the five fixed strings of the file
// into Content Description, other file-level ones into Extended Content
// Description, per-stream ones into Metadata, and whatever those cannot hold
// (GUID values, values over 64 KiB, language-tagged ones) into the Metadata
// Library.
const char* const kContentFields[] = {"Title", "Author", "Copyright", "Description", "Rating"};

bool IsContentField(const Attribute& a) {
    return a.stream == 0 && a.type == kAttrString && a.language == 0 &&
           std::any_of(std::begin(kContentFields), std::end(kContentFields),
                       [&](const char* n) { return a.name == n; });
}
bool NeedsLibrary(const Attribute& a) {
    return a.type == kAttrGuid || a.value.size() > 0xFFFF || a.language != 0;
}

// BOOL values are 4 bytes in the API and in Extended Content Description,
// 2 in Metadata and Metadata Library.
std::vector<uint8_t> DiskValue(const Attribute& a, bool short_bool) {
    if (a.type == kAttrBool && short_bool) {
        const bool v = std::any_of(a.value.begin(), a.value.end(), [](uint8_t b) { return b != 0; });
        return {static_cast<uint8_t>(v), 0};
    }
    return a.value;
}

void FileProps(ObjectBuilder& b, const FileProperties& f) {
    const size_t at = b.Begin(guid::kFileProperties);
    b.Put(f.fileId);
    b.U64(f.fileSize);
    b.U64(f.creationDate);
    b.U64(f.packetCount);
    b.U64(f.playDuration);
    b.U64(f.sendDuration);
    b.U64(f.prerollMs);
    b.U32(f.flags);
    b.U32(f.minPacketSize);
    b.U32(f.maxPacketSize);
    b.U32(f.maxBitrate);
    b.End(at);
}

void StreamProps(ObjectBuilder& b, const StreamInfo& s) {
    const size_t at = b.Begin(guid::kStreamProperties);
    b.Put(s.type);
    b.Put(s.errorCorrection);
    b.U64(s.timeOffset);
    b.U32(static_cast<uint32_t>(s.typeData.size()));
    b.U32(static_cast<uint32_t>(s.errorData.size()));
    b.U16(s.number & 0x7F);
    b.U32(0);
    b.Put(s.typeData);
    b.Put(s.errorData);
    b.End(at);
}

void ExtStreamProps(ObjectBuilder& b, const StreamOut& so, const HeaderOut& h) {
    const ExtendedStreamProps& e = so.info.ext;
    const size_t at = b.Begin(guid::kExtendedStreamProperties);
    b.U64(0);  // start and end time: not known in advance
    b.U64(0);
    const uint32_t rate = e.dataBitrate != 0 ? e.dataBitrate : so.bitrate;
    if (rate == 0) {
        h.bitrateAt.emplace_back(so.info.number, b.Size());
    }
    b.U32(rate);
    b.U32(so.bufferWindow);
    b.U32(e.present ? e.initialFullness : 0);
    if (!e.present && rate == 0) {
        h.bitrateAt.emplace_back(so.info.number, b.Size());
    }
    b.U32(e.present ? e.altDataBitrate : rate);
    b.U32(e.present ? e.altBufferSize : so.bufferWindow);
    b.U32(e.present ? e.altInitialFullness : 0);
    b.U32(e.maxObjectSize);
    b.U32(e.present ? e.flags : 0);
    b.U16(so.info.number);
    b.U16(e.languageIndex);
    b.U64(e.avgTimePerFrame);
    b.U16(static_cast<uint16_t>(e.names.size()));
    b.U16(so.durationExt ? 1 : 0);
    for (const StreamName& n : e.names) {
        const std::string s = Utf8ToUtf16(n.name);
        b.U16(n.languageIndex);
        b.U16(static_cast<uint16_t>(s.size()));
        b.Put(s);
    }
    if (so.durationExt) {
        b.Put(guid::kExtSampleDuration);
        b.U16(2);
        b.U32(0);
    }
    b.End(at);
}

void MetadataRecords(ObjectBuilder& b, const Guid& id, const std::vector<const Attribute*>& list,
                     bool library, const HeaderOut& h) {
    if (list.empty()) {
        return;
    }
    const size_t at = b.Begin(id);
    b.U16(static_cast<uint16_t>(list.size()));
    for (const Attribute* a : list) {
        const std::string name = Utf8ToUtf16(a->name);
        const std::vector<uint8_t> v = DiskValue(*a, true);
        b.U16(library ? a->language : 0);
        b.U16(a->stream);
        b.U16(static_cast<uint16_t>(name.size()));
        b.U16(AttrTypeToDisk(a->type));
        b.U32(static_cast<uint32_t>(v.size()));
        b.Put(name);
        if (a->stream != 0 && a->name == "NumberOfFrames" && a->type == kAttrQword && v.size() == 8) {
            h.frameCountAt.emplace_back(a->stream, b.Size());
        }
        b.Put(v);
    }
    b.End(at);
}

void HeaderExtension(ObjectBuilder& b, const HeaderOut& h) {
    const size_t at = b.Begin(guid::kHeaderExtension);
    b.Put(guid::kReserved1);
    b.U16(6);
    const size_t size_at = b.Size();
    b.U32(0);
    const size_t data_from = b.Size();
    std::vector<const Attribute*> meta, library;
    for (const Attribute& a : h.attributes) {
        if (NeedsLibrary(a) && a.value.size() <= 0xFFFFFFFFull) {
            library.push_back(&a);
        } else if (a.stream != 0) {
            meta.push_back(&a);
        }
    }
    if (!h.languages.empty()) {
        const size_t list = b.Begin(guid::kLanguageList);
        b.U16(static_cast<uint16_t>(h.languages.size()));
        for (const std::string& tag : h.languages) {
            const std::string s = Utf8ToUtf16(tag);
            b.U8(static_cast<uint8_t>(std::min<size_t>(s.size(), 0xFE)));
            b.Bytes().insert(b.Bytes().end(), s.begin(), s.begin() + std::min<size_t>(s.size(), 0xFE));
        }
        b.End(list);
    }
    for (const MutualExclusion& m : h.exclusions) {
        const size_t gme = b.Begin(guid::kGroupMutualExclusion);
        b.Put(m.type);
        b.U16(static_cast<uint16_t>(m.groups.size()));
        for (const std::vector<uint16_t>& g : m.groups) {
            b.U16(static_cast<uint16_t>(g.size()));
            for (uint16_t n : g) {
                b.U16(n);
            }
        }
        b.End(gme);
    }
    MetadataRecords(b, guid::kMetadata, meta, false, h);
    MetadataRecords(b, guid::kMetadataLibrary, library, true, h);
    for (const StreamOut& s : h.streams) {
        ExtStreamProps(b, s, h);
    }
    bytes::PutLE32(b.Bytes().data() + size_at, static_cast<uint32_t>(b.Size() - data_from));
    b.End(at);
}

void CodecList(ObjectBuilder& b, const std::vector<CodecInfo>& codecs) {
    if (codecs.empty()) {
        return;
    }
    const size_t at = b.Begin(guid::kCodecList);
    b.Put(guid::kReserved2);
    b.U32(static_cast<uint32_t>(codecs.size()));
    for (const CodecInfo& c : codecs) {
        b.U16(c.type == kCodecVideo ? 1 : c.type == kCodecAudio ? 2 : 0xFFFF);
        const std::string name = Utf8ToUtf16(c.name);
        const std::string desc = Utf8ToUtf16(c.description);
        b.U16(static_cast<uint16_t>(name.size() / 2));
        b.Put(name);
        b.U16(static_cast<uint16_t>(desc.size() / 2));
        b.Put(desc);
        b.U16(static_cast<uint16_t>(std::min<size_t>(c.info.size(), 0xFFFF)));
        b.Bytes().insert(b.Bytes().end(), c.info.begin(),
                         c.info.begin() + std::min<size_t>(c.info.size(), 0xFFFF));
    }
    b.End(at);
}

void ScriptCommands(ObjectBuilder& b, const std::vector<Script>& scripts) {
    if (scripts.empty()) {
        return;
    }
    std::vector<std::string> types;
    for (const Script& s : scripts) {
        if (std::find(types.begin(), types.end(), s.type) == types.end()) {
            types.push_back(s.type);
        }
    }
    const size_t at = b.Begin(guid::kScriptCommand);
    b.Put(guid::kReserved3);
    b.U16(static_cast<uint16_t>(scripts.size()));
    b.U16(static_cast<uint16_t>(types.size()));
    for (const std::string& t : types) {
        const std::string s = Utf8ToUtf16(t);
        b.U16(static_cast<uint16_t>(s.size() / 2));
        b.Put(s);
    }
    for (const Script& s : scripts) {
        b.U32(static_cast<uint32_t>(s.time / 10000));
        b.U16(static_cast<uint16_t>(std::find(types.begin(), types.end(), s.type) - types.begin()));
        const std::string c = Utf8ToUtf16(s.command);
        b.U16(static_cast<uint16_t>(c.size() / 2));
        b.Put(c);
    }
    b.End(at);
}

void ContentDescription(ObjectBuilder& b, const std::vector<Attribute>& attrs) {
    std::string values[5];
    bool any = false;
    for (const Attribute& a : attrs) {
        for (int i = 0; i < 5; ++i) {
            if (IsContentField(a) && a.name == kContentFields[i] && a.value.size() <= 0xFFFF) {
                values[i].assign(a.value.begin(), a.value.end());
                any = true;
            }
        }
    }
    if (!any) {
        return;
    }
    const size_t at = b.Begin(guid::kContentDescription);
    for (const std::string& v : values) {
        b.U16(static_cast<uint16_t>(v.size()));
    }
    for (const std::string& v : values) {
        b.Put(v);
    }
    b.End(at);
}

void ExtendedContentDescription(ObjectBuilder& b, const std::vector<Attribute>& attrs) {
    std::vector<const Attribute*> list;
    for (const Attribute& a : attrs) {
        if (a.stream == 0 && !IsContentField(a) && !NeedsLibrary(a)) {
            list.push_back(&a);
        }
    }
    if (list.empty()) {
        return;
    }
    const size_t at = b.Begin(guid::kExtendedContentDescription);
    b.U16(static_cast<uint16_t>(list.size()));
    for (const Attribute* a : list) {
        const std::string name = Utf8ToUtf16(a->name);
        const std::vector<uint8_t> v = DiskValue(*a, false);
        b.U16(static_cast<uint16_t>(name.size()));
        b.Put(name);
        b.U16(AttrTypeToDisk(a->type));
        b.U16(static_cast<uint16_t>(v.size()));
        b.Put(v);
    }
    b.End(at);
}

void StreamBitrates(ObjectBuilder& b, const HeaderOut& h) {
    const size_t at = b.Begin(guid::kStreamBitrateProperties);
    b.U16(static_cast<uint16_t>(h.streams.size()));
    for (const StreamOut& s : h.streams) {
        b.U16(s.info.number & 0x7F);
        if (s.bitrate == 0) {
            h.bitrateAt.emplace_back(s.info.number, b.Size());
        }
        b.U32(s.bitrate);
    }
    b.End(at);
}

}  // namespace

std::vector<uint8_t> HeaderObject(const HeaderOut& h, size_t& file_props_at) {
    std::vector<uint8_t> out;
    ObjectBuilder b(out);
    const size_t at = b.Begin(guid::kHeader);
    b.U32(0);  // object count, patched below
    b.U8(1);
    b.U8(2);
    const size_t children_from = b.Size();
    file_props_at = b.Size();
    FileProps(b, h.props);
    // The extension (with the per-stream Metadata) before the streams:
    // GStreamer takes a video stream's aspect ratio from the Metadata it has
    // read when it meets the stream's Stream Properties.
    HeaderExtension(b, h);
    for (const StreamOut& s : h.streams) {
        StreamProps(b, s.info);
    }
    CodecList(b, h.codecs);
    ScriptCommands(b, h.scripts);
    ContentDescription(b, h.attributes);
    ExtendedContentDescription(b, h.attributes);
    StreamBitrates(b, h);
    b.End(at);
    // Count the direct children by walking their sizes.
    uint32_t count = 0;
    for (size_t p = children_from; p + 24 <= out.size(); p += bytes::GetLE64(out.data() + p + 16)) {
        ++count;
    }
    bytes::PutLE32(out.data() + 24, count);
    return out;
}

}  // namespace trelvan::asf::render
