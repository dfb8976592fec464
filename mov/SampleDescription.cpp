#include "SampleDescription.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "AtomIterator.h"
#include "Atoms.h"
#include "ByteOrder.h"

namespace trelvan::mov {
namespace {

constexpr size_t kEntryHeader = 16;        // size, format, reserved, data reference
constexpr size_t kVisualFixed = 86;        // through the colour table id
constexpr size_t kSoundFixed[] = {36, 52, 72};  // versions 0, 1, 2

std::string Code(uint32_t type) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((type >> shift) & 0xFF);
        s += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return s;
}

std::string Hex(std::span<const uint8_t> bytes) {
    std::string s;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        s += buf;
    }
    return s;
}

// A short tag of long configuration bytes (parameter sets): equal bytes,
// equal tag.
std::string Digest(std::span<const uint8_t> bytes) {
    uint32_t h = 2166136261u;
    for (uint8_t b : bytes) {
        h = (h ^ b) * 16777619u;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", h);
    return buf;
}

// An MPEG-4 descriptor's length (1 to 4 bytes of 7 bits).
bool DescriptorLength(std::span<const uint8_t> d, size_t& at, size_t& length) {
    length = 0;
    for (int i = 0; i < 4; ++i) {
        if (at >= d.size()) {
            return false;
        }
        const uint8_t b = d[at++];
        length = (length << 7) | (b & 0x7F);
        if ((b & 0x80) == 0) {
            return true;
        }
    }
    return true;
}

// The object type and decoder-specific info of an 'esds' payload (after
// version and flags): what an MPEG-4 audio or video decoder is set up
// from; the buffer size and bit rates beside them are not. False when the
// descriptors do not reach the object type.
bool ParseEsds(std::span<const uint8_t> p, EsdsDecoderInfo& info) {
    size_t at = 4, length = 0;
    if (at >= p.size() || p[at++] != 3 || !DescriptorLength(p, at, length) || at + 3 > p.size()) {
        return false;
    }
    at += 2;  // ES_ID
    const uint8_t flags = p[at++];
    if (flags & 0x80) {
        at += 2;
    }
    if ((flags & 0x40) && at < p.size()) {
        at += 1 + p[at];
    }
    if (flags & 0x20) {
        at += 2;
    }
    if (at >= p.size() || p[at++] != 4 || !DescriptorLength(p, at, length) || at + 13 > p.size()) {
        return false;
    }
    info.objectType = p[at];
    at += 13;
    info.config.clear();
    if (at < p.size() && p[at++] == 5 && DescriptorLength(p, at, length) &&
        at + length <= p.size()) {
        info.config.assign(p.begin() + static_cast<std::ptrdiff_t>(at),
                           p.begin() + static_cast<std::ptrdiff_t>(at + length));
    }
    return true;
}

std::string EsdsConfig(std::span<const uint8_t> p) {
    EsdsDecoderInfo info;
    if (!ParseEsds(p, info)) {
        return "esds " + Digest(p);
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "object type 0x%02x", info.objectType);
    std::string out = buf;
    if (!info.config.empty()) {
        out += ", decoder config " + Hex(info.config);
    }
    return out;
}

std::string AvcConfig(const char* codec, std::span<const uint8_t> p, size_t profileAt,
                      size_t levelAt, uint8_t profileMask) {
    char buf[96];
    if (p.size() <= std::max(profileAt, levelAt)) {
        return std::string(codec) + " " + Digest(p);
    }
    std::snprintf(buf, sizeof buf, "%s profile %u, level %u, parameter sets %s", codec,
                  p[profileAt] & profileMask, p[levelAt], Digest(p).c_str());
    return buf;
}

// Configuration atoms among `children`, 'wave' entered.
void ConfigFields(std::span<const uint8_t> children, std::vector<DescriptionField>& out,
                  int depth = 0) {
    AtomIterator it(children);
    AtomView a;
    while (it.Next(a)) {
        const std::string name = "codec configuration";
        switch (a.type) {
            case atom::Type("avcC"):
                out.push_back({name, AvcConfig("H.264", a.payload, 1, 3, 0xFF)});
                break;
            case atom::Type("hvcC"):
                out.push_back({name, AvcConfig("HEVC", a.payload, 1, 12, 0x1F)});
                break;
            case atom::Type("esds"):
                out.push_back({name, EsdsConfig(a.payload)});
                break;
            case atom::Type("av1C"):
            case atom::Type("vpcC"):
            case atom::Type("alac"):
            case atom::Type("dOps"):
            case atom::Type("dfLa"):
            case atom::Type("dac3"):
            case atom::Type("dec3"):
            case atom::Type("glbl"):
            case atom::Type("SMI "):
            case atom::Type("d263"):
            case atom::Type("damr"):
                out.push_back({name, Code(a.type) + " " +
                                         (a.payload.size() <= 16 ? Hex(a.payload)
                                                                 : Digest(a.payload))});
                break;
            case atom::Type("wave"):
                if (depth == 0) {
                    ConfigFields(a.payload, out, 1);
                }
                break;
            default:
                break;  // labels, bit rates, colour and aspect notes
        }
    }
}

// Whether a sound entry's children configure its decoder completely: an
// MPEG-4 audio 'esds' with its AudioSpecificConfig, or the configuration
// atom of ALAC, Opus, FLAC, AC-3 or E-AC-3 (also inside 'wave').
bool SetUpFromConfig(std::span<const uint8_t> children) {
    AtomIterator it(children);
    AtomView a;
    while (it.Next(a)) {
        switch (a.type) {
            case atom::Type("esds"): {
                EsdsDecoderInfo info;
                if (ParseEsds(a.payload, info) && info.objectType == 0x40 && !info.config.empty()) {
                    return true;
                }
                break;
            }
            case atom::Type("alac"):
            case atom::Type("dOps"):
            case atom::Type("dfLa"):
            case atom::Type("dac3"):
            case atom::Type("dec3"):
                return true;
            case atom::Type("wave"):
                if (SetUpFromConfig(a.payload)) {
                    return true;
                }
                break;
            default:
                break;
        }
    }
    return false;
}

}  // namespace

std::vector<DescriptionField> DecoderFields(uint32_t handler, std::span<const uint8_t> e) {
    std::vector<DescriptionField> out;
    if (e.size() < kEntryHeader) {
        return {{"codec", Hex(e)}};
    }
    out.push_back({"codec", Code(bytes::GetBE32(e.data() + 4))});
    size_t children = e.size();
    if (handler == atom::kVide && e.size() >= kVisualFixed) {
        out.push_back({"frame size", std::to_string(bytes::GetBE16(e.data() + 32)) + "×" +
                                         std::to_string(bytes::GetBE16(e.data() + 34))});
        children = kVisualFixed;
    } else if (handler == atom::kSoun && e.size() >= kSoundFixed[0]) {
        const uint16_t version = bytes::GetBE16(e.data() + 16);
        if (version == 2 && e.size() >= kSoundFixed[2]) {
            const double rate = std::bit_cast<double>(bytes::GetBE64(e.data() + 40));
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.6g Hz", rate);
            out.push_back({"channels", std::to_string(bytes::GetBE32(e.data() + 48))});
            out.push_back({"sample size", std::to_string(bytes::GetBE32(e.data() + 56))});
            out.push_back({"sample rate", buf});
            out.push_back({"packet layout", "flags " + std::to_string(bytes::GetBE32(e.data() + 60)) +
                                                ", " + std::to_string(bytes::GetBE32(e.data() + 64)) +
                                                " bytes per packet"});
            children = kSoundFixed[2];
        } else {
            out.push_back({"channels", std::to_string(bytes::GetBE16(e.data() + 24))});
            out.push_back({"sample size", std::to_string(bytes::GetBE16(e.data() + 26))});
            out.push_back({"sample rate",
                           std::to_string(bytes::GetBE32(e.data() + 32) >> 16) + " Hz"});
            children = kSoundFixed[0];
            if (version == 1 && e.size() >= kSoundFixed[1]) {
                out.push_back({"packet layout",
                               std::to_string(bytes::GetBE32(e.data() + 36)) + " frames in " +
                                   std::to_string(bytes::GetBE32(e.data() + 44)) + " bytes"});
                children = kSoundFixed[1];
            }
        }
    } else {
        // Other media: the whole entry past its data reference decides.
        out.push_back({"codec data", Digest(e.subspan(kEntryHeader))});
        return out;
    }
    const size_t fixedFields = out.size();
    ConfigFields(e.subspan(children), out);
    if (handler == atom::kSoun && SetUpFromConfig(e.subspan(children))) {
        // AAC, ALAC, Opus, FLAC, AC-3: the decoder takes channels and sample
        // size from its configuration; the entry's own fields (which a
        // QuickTime version 1 entry and an ISO one of the same sound fill
        // differently) and a version 1 packet layout are ignored.
        out.erase(
            std::remove_if(out.begin() + 1, out.begin() + static_cast<std::ptrdiff_t>(fixedFields),
                           [](const DescriptionField& f) {
                               return f.name == "channels" || f.name == "sample size" ||
                                      f.name == "packet layout";
                           }),
            out.begin() + static_cast<std::ptrdiff_t>(fixedFields));
    }
    return out;
}

namespace {

// The 'esds' among `children`, or inside their 'wave'.
std::optional<EsdsDecoderInfo> FindEsds(std::span<const uint8_t> children, bool inWave) {
    AtomIterator it(children);
    AtomView a;
    while (it.Next(a)) {
        if (a.type == atom::Type("esds")) {
            EsdsDecoderInfo info;
            return ParseEsds(a.payload, info) ? std::optional(info) : std::nullopt;
        }
        if (a.type == atom::Type("wave") && !inWave) {
            if (auto info = FindEsds(a.payload, true)) {
                return info;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<EsdsDecoderInfo> EsdsDecoderInfoOf(std::span<const uint8_t> e) {
    if (e.size() < kSoundFixed[0]) {
        return std::nullopt;
    }
    const uint16_t version = bytes::GetBE16(e.data() + 16);
    const size_t fixed = version <= 2 ? kSoundFixed[version] : e.size();
    return fixed < e.size() ? FindEsds(e.subspan(fixed), false) : std::nullopt;
}

bool SameForDecoders(uint32_t handler, std::span<const uint8_t> a, std::span<const uint8_t> b) {
    return DecoderFields(handler, a) == DecoderFields(handler, b);
}

}  // namespace trelvan::mov
