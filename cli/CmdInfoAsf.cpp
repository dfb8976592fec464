#include "CmdInfoAsf.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "AsfByteReader.h"
#include "AsfHeaderInfo.h"
#include "AsfProfile.h"
#include "AsfReader.h"
#include "ByteOrder.h"
#include "CliCommon.h"
#include "ErrorCodes.h"
#include "JsonText.h"
#include "ReadAheadFile.h"

namespace trelvan::cli {

namespace {

// An attribute's value as JSON: strings as strings, numbers as numbers,
// BOOL as true/false, GUIDs as their text, byte arrays by their size.
std::string AttrJson(const asf::Attribute& a) {
    const std::vector<uint8_t>& v = a.value;
    switch (a.type) {
        case asf::kAttrString: return JsonText(asf::Utf16ToUtf8(v.data(), v.size()));
        case asf::kAttrBool: return v.size() >= 1 && v[0] != 0 ? "true" : "false";
        case asf::kAttrDword: return v.size() >= 4 ? std::to_string(bytes::GetLE32(v.data())) : "null";
        case asf::kAttrQword: return v.size() >= 8 ? std::to_string(bytes::GetLE64(v.data())) : "null";
        case asf::kAttrWord: return v.size() >= 2 ? std::to_string(bytes::GetLE16(v.data())) : "null";
        case asf::kAttrGuid: {
            asf::Guid g;
            if (v.size() == 16) {
                std::copy(v.begin(), v.end(), g.b.begin());
            }
            return JsonText(asf::GuidText(g));
        }
        default: return JsonText("<" + std::to_string(v.size()) + " bytes>");
    }
}

struct StreamRow {
    uint16_t number = 0;
    std::string type;
    std::string codecTag;  // JSON: a FourCC string or a format tag number
    uint32_t bitrate = 0;
    uint32_t bufferWindow = 0;
    bool vbr = false;
    uint64_t samples = 0;
    uint64_t keys = 0;
};

std::string FourCCText(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return s;
}

}  // namespace

bool IsAsfFile(const std::string& path) {
    std::unique_ptr<IoFile> f = OpenDiskFile(path, OpenMode::Read);
    uint8_t head[16];
    return f && f->ReadAt(0, head, sizeof head) == 16 &&
           std::equal(head, head + 16, asf::guid::kHeader.b.begin());
}

int PrintAsfInfo(const std::string& path, bool human) {
    asf::AsfReader r;
    const wm::HRESULT hr = r.Open(path, ReadAheadOpener());
    if (hr != wm::hr::kOk) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "ASF reader result 0x%08x", static_cast<uint32_t>(hr));
        PrintRunError(err::kWmvOpen, {{path}, {}}, detail);
        return kExitOperationError;
    }
    const asf::AsfHeader& h = r.Header();
    auto profile = wm::Profile::FromHeader(h);
    std::map<uint16_t, StreamRow> rows;
    std::vector<uint16_t> order;
    for (uint32_t i = 0; i < profile->GetStreamCount(); ++i) {
        wm::StreamConfig c;
        profile->GetStream(i, c);
        const asf::StreamInfo& s = c.Source();
        StreamRow row;
        row.number = c.GetStreamNumber();
        row.type = s.IsVideo() ? "video" : s.IsAudio() ? "audio" : "other";
        if (s.IsVideo() && s.typeData.size() >= 11 + 20) {
            row.codecTag = JsonText(FourCCText(bytes::GetLE32(s.typeData.data() + 11 + 16)));
        } else if (s.IsAudio() && s.typeData.size() >= 2) {
            row.codecTag = std::to_string(bytes::GetLE16(s.typeData.data()));
        } else {
            row.codecTag = JsonText(asf::GuidText(s.type));
        }
        row.bitrate = c.GetBitrate();
        row.bufferWindow = c.GetBufferWindow();
        row.vbr = c.IsVbr();
        rows[row.number] = row;
        order.push_back(row.number);
    }
    asf::AsfSample s;
    wm::HRESULT next;
    while ((next = r.Next(s)) == wm::hr::kOk) {
        StreamRow& row = rows[s.stream];
        ++row.samples;
        row.keys += s.key ? 1 : 0;
    }
    if (wm::Failed(next)) {
        PrintRunError(err::kWmvProcess, {{path}, {}, 0});
        return kExitOperationError;
    }
    const bool simple = !r.Index().simple.empty();
    const bool index = r.Index().hasIndex;
    const char* index_text = simple && index ? "both" : simple ? "simple" : index ? "index" : "none";
    const auto info = wm::HeaderInfo::ForReader(h, r.Duration(), r.FileSize(), (h.props.flags & 2) != 0);
    // Attributes per stream number, the file's (0) first; a name stored
    // more than once gives an array of its values.
    std::map<uint16_t, std::vector<std::pair<std::string, std::vector<std::string>>>> attrs;
    for (uint16_t stream = 0; stream < 128; ++stream) {
        for (uint16_t i = 0; i < info->GetAttributeCount(stream); ++i) {
            asf::Attribute a;
            info->GetAttributeByIndex(stream, i, a);
            auto& list = attrs[stream];
            auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.first == a.name; });
            if (it == list.end()) {
                list.push_back({a.name, {AttrJson(a)}});
            } else {
                it->second.push_back(AttrJson(a));
            }
        }
    }

    if (human) {
        std::printf("File: %s\nContainer: ASF\nDuration: %.3f s\nPreroll: %llu ms\n", path.c_str(),
                    static_cast<double>(r.Duration()) / 1e7, static_cast<unsigned long long>(h.props.prerollMs));
        std::printf("Packets: %llu of %u bytes\nIndex: %s\n", static_cast<unsigned long long>(r.PacketCount()),
                    r.PacketSize(), index_text);
        for (uint16_t n : order) {
            const StreamRow& row = rows[n];
            std::string tag = row.codecTag;
            if (tag.size() >= 2 && tag.front() == '"') {
                tag = tag.substr(1, tag.size() - 2);
            }
            std::printf("Stream %u: %s, codec %s, %u bit/s, buffer %u ms%s, %llu samples (%llu key)\n", n,
                        row.type.c_str(), tag.c_str(), row.bitrate, row.bufferWindow, row.vbr ? ", VBR" : "",
                        static_cast<unsigned long long>(row.samples), static_cast<unsigned long long>(row.keys));
        }
        for (const auto& [stream, list] : attrs) {
            std::printf("Attributes of %s:\n", stream == 0 ? "the file" : ("stream " + std::to_string(stream)).c_str());
            for (const auto& [name, values] : list) {
                for (const std::string& v : values) {
                    std::string t = v.size() >= 2 && v.front() == '"' ? v.substr(1, v.size() - 2) : v;
                    std::printf("  %-26s %s\n", name.c_str(), t.c_str());
                }
            }
        }
        return kExitOk;
    }
    std::string out = "{\"file\": " + JsonText(path) + ", \"container\": \"asf\", \"duration\": " +
                      std::to_string(r.Duration()) + ", \"preroll\": " + std::to_string(h.props.prerollMs) +
                      ", \"packet_size\": " + std::to_string(r.PacketSize()) +
                      ", \"packets\": " + std::to_string(r.PacketCount()) + ", \"index\": \"" + index_text +
                      "\", \"streams\": [";
    for (size_t i = 0; i < order.size(); ++i) {
        const StreamRow& row = rows[order[i]];
        out += (i ? ", " : "") + std::string("{\"number\": ") + std::to_string(row.number) +
               ", \"type\": \"" + row.type + "\", \"codec_tag\": " + row.codecTag +
               ", \"bitrate\": " + std::to_string(row.bitrate) +
               ", \"buffer_window\": " + std::to_string(row.bufferWindow) +
               ", \"vbr\": " + (row.vbr ? "true" : "false") + ", \"samples\": " + std::to_string(row.samples) +
               ", \"key_samples\": " + std::to_string(row.keys) + "}";
    }
    out += "], \"attributes\": {";
    bool first_stream = true;
    for (const auto& [stream, list] : attrs) {
        out += (first_stream ? "\"" : ", \"") + std::to_string(stream) + "\": {";
        first_stream = false;
        for (size_t i = 0; i < list.size(); ++i) {
            const auto& values = list[i].second;
            std::string v = values.front();
            if (values.size() > 1) {
                v = "[";
                for (size_t k = 0; k < values.size(); ++k) {
                    v += (k ? ", " : "") + values[k];
                }
                v += "]";
            }
            out += (i ? ", " : "") + JsonText(list[i].first) + ": " + v;
        }
        out += "}";
    }
    out += "}}\n";
    std::fputs(out.c_str(), stdout);
    return kExitOk;
}

}  // namespace trelvan::cli
