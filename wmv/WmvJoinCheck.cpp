#include "WmvJoinCheck.h"

#include <algorithm>
#include <cstdio>

#include "AsfReader.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "WmvOperations.h"

namespace trelvan {

namespace {

using wm::MediaType;
using wm::StreamConfig;

std::string KindOf(const MediaType& m) {
    return m.majorType == wm::kMediaTypeVideo   ? "video"
           : m.majorType == wm::kMediaTypeAudio ? "audio"
                                                 : "other";
}

std::string StreamName(const StreamConfig& s) {
    return "stream " + std::to_string(s.GetStreamNumber()) + " (" + KindOf(s.GetMediaType()) + ")";
}

// The codec of a media type: the FourCC or format tag its subtype carries.
std::string Codec(const MediaType& m) {
    const uint32_t tag = bytes::GetLE32(m.subtype.b.data());
    if (m.majorType == wm::kMediaTypeAudio) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%04X", tag);
        return buf;
    }
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        s += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return s;
}

uint32_t Le16(const std::vector<uint8_t>& d, size_t at) {
    return at + 2 <= d.size() ? bytes::GetLE16(d.data() + at) : 0;
}

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
    return at + 4 <= d.size() ? bytes::GetLE32(d.data() + at) : 0;
}

// Bytes from `from` on, as the codec-data comparison shows them.
std::string Tail(const std::vector<uint8_t>& d, size_t from) {
    if (d.size() <= from) {
        return "none";
    }
    std::string s = std::to_string(d.size() - from) + " bytes:";
    char buf[4];
    for (size_t i = from; i < d.size() && i < from + 12; ++i) {
        std::snprintf(buf, sizeof buf, " %02x", d[i]);
        s += buf;
    }
    return d.size() > from + 12 ? s + " ..." : s;
}

void CompareVideo(JoinReport& r, int32_t entry, const std::string& stream, const MediaType& a,
                  const MediaType& b) {
    // The BITMAPINFOHEADER behind the VIDEOINFOHEADER's rectangles, rates
    // and frame time.
    constexpr size_t bih = wm::kVideoInfoHeaderSize;
    auto size = [](const std::vector<uint8_t>& d) {
        return std::to_string(static_cast<int32_t>(Le32(d, bih + 4))) + "x" +
               std::to_string(static_cast<int32_t>(Le32(d, bih + 8)));
    };
    r.Compare(entry, stream, "frame size", size(a.format), size(b.format));
    r.Compare(entry, stream, "bit depth", std::to_string(Le16(a.format, bih + 14)),
              std::to_string(Le16(b.format, bih + 14)));
    // Codec data: what follows the 40-byte BITMAPINFOHEADER.
    r.Compare(entry, stream, "codec data", Tail(a.format, bih + 40), Tail(b.format, bih + 40));
}

void CompareAudio(JoinReport& r, int32_t entry, const std::string& stream, const MediaType& a,
                  const MediaType& b) {
    const auto& fa = a.format;
    const auto& fb = b.format;
    r.Compare(entry, stream, "channels", std::to_string(Le16(fa, 2)), std::to_string(Le16(fb, 2)));
    r.Compare(entry, stream, "sample rate", std::to_string(Le32(fa, 4)),
              std::to_string(Le32(fb, 4)));
    r.Compare(entry, stream, "bits per sample", std::to_string(Le16(fa, 14)),
              std::to_string(Le16(fb, 14)));
    r.Compare(entry, stream, "block align", std::to_string(Le16(fa, 12)),
              std::to_string(Le16(fb, 12)));
    // The codec's own bytes after the 18-byte WAVEFORMATEX.
    r.Compare(entry, stream, "codec data", Tail(fa, 18), Tail(fb, 18));
}

void CompareProfile(JoinReport& r, int32_t entry, const wm::Profile& first,
                    const wm::Profile& other) {
    // Every stream of the first file, by number.
    for (uint32_t i = 0; i < first.GetStreamCount(); ++i) {
        StreamConfig a;
        first.GetStream(i, a);
        const std::string stream = StreamName(a);
        StreamConfig b;
        if (wm::Failed(other.GetStreamByNumber(a.GetStreamNumber(), b))) {
            r.Compare(entry, stream, "stream", "present", "missing");
            continue;
        }
        const MediaType& ma = a.GetMediaType();
        const MediaType& mb = b.GetMediaType();
        const size_t before = r.differences.size();
        r.Compare(entry, stream, "kind", KindOf(ma), KindOf(mb));
        r.Compare(entry, stream, "codec", Codec(ma), Codec(mb));
        if (r.differences.size() == before) {
            if (ma.majorType == wm::kMediaTypeVideo) {
                CompareVideo(r, entry, stream, ma, mb);
            } else if (ma.majorType == wm::kMediaTypeAudio) {
                CompareAudio(r, entry, stream, ma, mb);
            } else {
                r.Compare(entry, stream, "format", Tail(ma.format, 0), Tail(mb.format, 0));
            }
        }
        // One difference per stream: the first tells what to fix.
        r.differences.resize(std::min(r.differences.size(), before + 1));
    }
    // Streams the first file lacks: the output has no place for them.
    for (uint32_t i = 0; i < other.GetStreamCount(); ++i) {
        StreamConfig b;
        other.GetStream(i, b);
        StreamConfig a;
        if (wm::Failed(first.GetStreamByNumber(b.GetStreamNumber(), a))) {
            r.Compare(entry, StreamName(b), "stream", "missing", "present");
        }
    }
}

}  // namespace

JoinReport CompareWmvProfiles(const std::vector<const wm::Profile*>& profiles,
                              const std::vector<std::string>& sources) {
    JoinReport report;
    report.sources = sources;
    for (size_t i = 1; i < profiles.size(); ++i) {
        CompareProfile(report, static_cast<int32_t>(i), *profiles[0], *profiles[i]);
    }
    return report;
}

JoinReport CheckWmvJoin(const std::vector<std::string>& sources, const FileOpener& opener) {
    std::vector<std::shared_ptr<wm::Profile>> kept;
    std::vector<const wm::Profile*> profiles;
    for (size_t i = 0; i < sources.size(); ++i) {
        asf::AsfReader reader;
        if (wm::Failed(reader.Open(sources[i], opener))) {
            JoinReport report = CompareWmvProfiles(profiles, sources);
            report.unreadable = static_cast<int32_t>(i);
            report.code = err::kWmvOpen;
            return report;
        }
        kept.push_back(wm::Profile::FromHeader(reader.Header()));
        profiles.push_back(kept.back().get());
    }
    JoinReport report = CompareWmvProfiles(profiles, sources);
    // The link places every entry on its own earliest time; entries that
    // together pass the format's 32-bit millisecond times cannot be linked.
    const WmvLinkPlacing placing = PlaceWmvLinkEntries(sources);
    if (!placing.fits) {
        uint64_t total = 0;
        for (const uint64_t length : placing.lengths) {
            total += length;
        }
        report.differences.push_back({static_cast<int32_t>(sources.size() - 1), "file",
                                      "length of the link (times hold 1,193 h)", "within 1,193 h",
                                      std::to_string(total / 36'000'000'000ull) + " h in all"});
    }
    return report;
}

}  // namespace trelvan
