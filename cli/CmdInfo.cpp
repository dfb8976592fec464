#include <cstdio>
#include <string>

#include "ByteOrder.h"
#include "CDecAVI.h"
#include "CDecWAV.h"
#include "CliCommon.h"
#include "CmdInfoAsf.h"
#include "CmdInfoMovie.h"
#include "Commands.h"
#include "ErrorCodes.h"

namespace trelvan::cli {
namespace {

// A JSON string. Paths pass through as they are (UTF-8); four-character
// codes (ascii_only) may hold any byte and are escaped beyond ASCII.
std::string JsonString(const std::string& s, bool ascii_only = false) {
    std::string out = "\"";
    for (const unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || (ascii_only && c >= 0x7F)) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string JsonNumber(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    std::string s = buf;
    if (s.find_first_of(".eEn") == std::string::npos) {
        s += ".0";
    }
    return s;
}

// One field: its JSON key, its human label, and its value already rendered
// as JSON.
struct Field {
    const char* key;
    const char* label;
    std::string value;
};

std::vector<Field> VideoFields(CDecAVI& r) {
    const AviStreamInfo& info = r.GetVideoInfo();
    int32_t keys = 0;
    for (int32_t i = 0; i < r.GetLength(); ++i) {
        keys += r.IsKeyFrame(r.GetVideoStart() + i) ? 1 : 0;
    }
    return {
        {"handler", "Handler", JsonString(r.GetStreamHandler(), true)},
        {"compression", "Compression", JsonString(r.GetCompression(), true)},
        {"type", "Stream type", JsonString(r.GetStreamType(), true)},
        {"rate", "Rate", std::to_string(info.dwRate)},
        {"scale", "Scale", std::to_string(info.dwScale)},
        {"fps", "Frames per second", JsonNumber(r.GetFrameRate())},
        {"start", "Start", std::to_string(r.GetVideoStart())},
        {"length", "Length (frames)", std::to_string(r.GetLength())},
        {"width", "Width", std::to_string(r.GetWidth())},
        {"height", "Height", std::to_string(r.GetHeight())},
        {"keyframes", "Key frames", std::to_string(keys)},
        {"priority", "Priority", std::to_string(info.wPriority)},
    };
}

std::vector<Field> AudioFields(CDecWAV& r) {
    const AviStreamInfo& info = r.GetAudioInfo();
    uint8_t f[18] = {};
    if (const uint8_t* p = r.GetAudioFormat()) {
        std::copy(p, p + 18, f);
    }
    return {
        {"format_tag", "Format tag", std::to_string(bytes::GetLE16(f))},
        {"channels", "Channels", std::to_string(bytes::GetLE16(f + 2))},
        {"samples_per_sec", "Samples per second", std::to_string(bytes::GetLE32(f + 4))},
        {"avg_bytes_per_sec", "Average bytes per second", std::to_string(bytes::GetLE32(f + 8))},
        {"block_align", "Block alignment", std::to_string(bytes::GetLE16(f + 12))},
        {"bits_per_sample", "Bits per sample", std::to_string(bytes::GetLE16(f + 14))},
        {"extra_size", "Extra format bytes", std::to_string(bytes::GetLE16(f + 16))},
        {"rate", "Rate", std::to_string(info.dwRate)},
        {"scale", "Scale", std::to_string(info.dwScale)},
        {"start", "Start", std::to_string(r.GetAudioStart())},
        {"length", "Length (samples)", std::to_string(r.GetAudioLength())},
        {"sample_size", "Sample size", std::to_string(info.dwSampleSize)},
    };
}

std::string JsonObject(const std::vector<Field>& fields) {
    std::string s = "{";
    for (size_t i = 0; i < fields.size(); ++i) {
        s += (i ? ", " : "") + JsonString(fields[i].key) + ": " + fields[i].value;
    }
    return s + "}";
}

void PrintHuman(const char* title, const std::vector<Field>& fields) {
    std::printf("%s:", title);
    if (fields.empty()) {
        std::printf(" none\n");
        return;
    }
    std::printf("\n");
    for (const Field& f : fields) {
        std::string v = f.value;
        if (v.size() >= 2 && v.front() == '"') {
            v = v.substr(1, v.size() - 2);
        }
        std::printf("  %-26s %s\n", f.label, v.c_str());
    }
}

}  // namespace

// trelvan-cli info FILE [--human]: what the readers see in a file, as one
// JSON object (or as text).
int RunInfo(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{"--human"}, {}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli info FILE [--human]\n"
                "Prints the video stream the AVI reader selects and the audio stream the\n"
                "audio reader selects, as one JSON object (--human: as text). For a\n"
                "WMV/WMA/ASF file: the container, every stream with its sample counts,\n"
                "and the attributes per stream number. For a movie file (MOV, MP4, M4A,\n"
                "3GP): its brand, time scale, duration and tracks.\n");
            return kExitOk;
        }
        if (args.Positional().size() != 1) {
            return UsageFailure("info takes exactly one FILE");
        }
        ApplyCommonOptions(args);
        const std::string& path = args.Positional()[0];
        if (IsAsfFile(path)) {
            return PrintAsfInfo(path, args.Has("--human"));
        }
        if (LooksLikeMovie(path)) {
            return PrintMovieInfo(path, args.Has("--human"));
        }
        CDecAVI video;
        CDecWAV audio;
        const int32_t video_rc = video.Open(path);
        const int32_t audio_rc = audio.Open(path);
        if (video_rc != err::kOk && audio_rc != err::kOk) {
            PrintRunError(video_rc == err::kFileOpen ? video_rc : audio_rc, {{path}, {}});
            return kExitOperationError;
        }
        const std::vector<Field> v =
            video_rc == err::kOk ? VideoFields(video) : std::vector<Field>{};
        const std::vector<Field> a =
            audio_rc == err::kOk ? AudioFields(audio) : std::vector<Field>{};
        if (args.Has("--human")) {
            std::printf("File: %s\n", path.c_str());
            PrintHuman("Video", v);
            PrintHuman("Audio", a);
        } else {
            std::printf("{\"file\": %s, \"video\": %s, \"audio\": %s}\n", JsonString(path).c_str(),
                        v.empty() ? "null" : JsonObject(v).c_str(),
                        a.empty() ? "null" : JsonObject(a).c_str());
        }
        return kExitOk;
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
