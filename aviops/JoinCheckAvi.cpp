#include "JoinCheckAvi.h"

#include <cstdio>
#include <memory>
#include <numeric>

#include "AviAudioSync.h"
#include "ByteOrder.h"
#include "CDecAVIAudio.h"
#include "CDecWAV.h"

namespace trelvan {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string FourCCText(uint32_t v) {
    if (v == 0) {
        return "0";
    }
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(v >> (8 * i));
        s += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return "'" + s + "'";
}

// Bytes as a short summary: their count and a hash, enough to tell two
// codec records apart.
std::string BytesText(const uint8_t* p, size_t n) {
    if (n == 0) {
        return "none";
    }
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) {
        h = (h ^ p[i]) * 16777619u;
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "%zu bytes #%08x", n, h);
    return buf;
}

std::string Ratio(uint32_t rate, uint32_t scale) {
    if (scale == 0) {
        return std::to_string(rate) + "/0";
    }
    const uint32_t g = std::gcd(rate, scale);
    return std::to_string(rate / g) + "/" + std::to_string(scale / g);
}

Fields VideoFields(const AviStream& s) {
    const std::vector<uint8_t>& f = s.Format();
    Fields out;
    out.emplace_back("handler", FourCCText(s.Info().fccHandler));
    out.emplace_back("frame rate", Ratio(s.Info().dwRate, s.Info().dwScale));
    if (f.size() < 40) {
        out.emplace_back("format", BytesText(f.data(), f.size()));
        return out;
    }
    out.emplace_back("compression", FourCCText(bytes::GetLE32(&f[16])));
    out.emplace_back("frame size", std::to_string(static_cast<int32_t>(bytes::GetLE32(&f[4]))) +
                                       "x" +
                                       std::to_string(static_cast<int32_t>(bytes::GetLE32(&f[8]))));
    out.emplace_back("bit depth", std::to_string(bytes::GetLE16(&f[14])));
    out.emplace_back("codec data", BytesText(f.data() + 40, f.size() - 40));
    return out;
}

Fields AudioFields(const uint8_t* f, size_t n) {
    Fields out;
    if (f == nullptr || n < 16) {
        out.emplace_back("format", BytesText(f, f == nullptr ? 0 : n));
        return out;
    }
    char tag[8];
    std::snprintf(tag, sizeof tag, "0x%04X", bytes::GetLE16(f));
    out.emplace_back("format tag", tag);
    out.emplace_back("channels", std::to_string(bytes::GetLE16(f + 2)));
    out.emplace_back("sample rate", std::to_string(bytes::GetLE32(f + 4)));
    out.emplace_back("bits per sample", std::to_string(bytes::GetLE16(f + 14)));
    out.emplace_back("block alignment", std::to_string(bytes::GetLE16(f + 12)));
    const size_t extra = n >= 18 ? std::min<size_t>(bytes::GetLE16(f + 16), n - 18) : 0;
    out.emplace_back("codec data", BytesText(f + 18, extra));
    return out;
}

Fields AudioOf(CDecAVIAudio& r) {
    if (!r.HasAudio()) {
        return {{"stream", "none"}};
    }
    Fields out{{"stream", "present"}};
    const Fields f = AudioFields(r.GetAudioFormat(), static_cast<size_t>(std::max(r.GetAudioFormatSize(), 0)));
    out.insert(out.end(), f.begin(), f.end());
    return out;
}

void CompareFields(JoinReport& report, int32_t entry, const std::string& stream,
                   const Fields& first, const Fields& other) {
    for (size_t i = 0; i < first.size() && i < other.size(); ++i) {
        report.Compare(entry, stream, first[i].first, first[i].second, other[i].second);
    }
    if (first.size() != other.size() && !first.empty() && !other.empty() &&
        first[0].second == other[0].second) {
        report.Compare(entry, stream, "format", std::to_string(first.size()) + " fields",
                       std::to_string(other.size()) + " fields");
    }
}

template <typename Reader>
JoinReport OpenAndCompare(const std::vector<std::string>& sources, const FileOpener& opener,
                          JoinReport (*compare)(const std::vector<CDecAVIAudio*>&,
                                                const std::vector<std::string>&)) {
    std::vector<std::unique_ptr<Reader>> owned;
    std::vector<CDecAVIAudio*> readers;
    for (size_t i = 0; i < sources.size(); ++i) {
        owned.push_back(std::make_unique<Reader>());
        owned.back()->SetFileOpener(opener);
        const int32_t code = owned.back()->Open(sources[i]);
        if (code != 0) {
            JoinReport report = compare(readers, std::vector<std::string>(sources.begin(), sources.begin() + static_cast<std::ptrdiff_t>(i)));
            report.sources = sources;
            report.unreadable = static_cast<int32_t>(i);
            report.code = code;
            return report;
        }
        readers.push_back(owned.back().get());
    }
    return compare(readers, sources);
}

}  // namespace

JoinReport CompareAviEntries(const std::vector<CDecAVIAudio*>& readers,
                             const std::vector<std::string>& sources) {
    JoinReport report;
    report.sources = sources;
    if (readers.empty()) {
        return report;
    }
    AviStream* firstVideo = readers[0]->GetVideoStream();
    const Fields video = firstVideo != nullptr ? VideoFields(*firstVideo) : Fields{};
    const Fields audio = AudioOf(*readers[0]);
    const AviAudioSync sync(readers, sources);
    report.notes = sync.Notes();
    for (size_t i = 1; i < readers.size(); ++i) {
        const auto entry = static_cast<int32_t>(i);
        if (AviStream* v = readers[i]->GetVideoStream(); v != nullptr && firstVideo != nullptr) {
            CompareFields(report, entry, "video", video, VideoFields(*v));
        }
        // A later entry's audio only matters where the output has audio;
        // an entry without any is filled with silence where the format has
        // one (a note, below), and is a difference where it has none.
        if (readers[0]->HasAudio() && (readers[i]->HasAudio() || !sync.CanFill())) {
            CompareFields(report, entry, "audio", audio, AudioOf(*readers[i]));
        }
    }
    return report;
}

JoinReport CompareAudioEntries(const std::vector<CDecAVIAudio*>& readers,
                               const std::vector<std::string>& sources) {
    JoinReport report;
    report.sources = sources;
    if (readers.empty()) {
        return report;
    }
    const Fields audio = AudioOf(*readers[0]);
    for (size_t i = 1; i < readers.size(); ++i) {
        CompareFields(report, static_cast<int32_t>(i), "audio", audio, AudioOf(*readers[i]));
    }
    return report;
}

JoinReport CheckAviJoin(const std::vector<std::string>& sources, const FileOpener& opener) {
    return OpenAndCompare<CDecAVIAudio>(sources, opener, &CompareAviEntries);
}

JoinReport CheckAudioJoin(const std::vector<std::string>& sources, const FileOpener& opener) {
    return OpenAndCompare<CDecWAV>(sources, opener, &CompareAudioEntries);
}

}  // namespace trelvan
