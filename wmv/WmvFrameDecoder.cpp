#include "WmvFrameDecoder.h"

#include <algorithm>
#include <cstring>

#include "BitmapInfoHeader.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "FFmpegLibraries.h"
#include "PictureCodec.h"

namespace trelvan {
namespace {

// The samples from the last key frame on are kept to decode the last frame
// of the range; a group larger than this is given up (no picture) rather
// than held in memory.
constexpr size_t kMaxGroupBytes = size_t{256} << 20;
// Video type data of an ASF stream: width, height (4 bytes each), a flag
// byte, the format's size (2 bytes), then the BITMAPINFOHEADER and the
// codec's data.
constexpr size_t kVideoFormatAt = 11;

}  // namespace

WmvFrameDecoder::WmvFrameDecoder() = default;
WmvFrameDecoder::~WmvFrameDecoder() = default;

std::unique_ptr<WmvFrameDecoder> WmvFrameDecoder::Open(const asf::StreamInfo& stream) {
    const std::vector<uint8_t>& d = stream.typeData;
    if (!stream.IsVideo() || d.size() < kVideoFormatAt + kBitmapInfoHeaderSize) {
        return nullptr;
    }
    // The format's own size, held to the bytes there are.
    const size_t formatBytes =
        std::min<size_t>(bytes::GetLE16(d.data() + 9), d.size() - kVideoFormatAt);
    const uint8_t* format = d.data() + kVideoFormatAt;
    BITMAPINFOHEADER bih{};
    if (formatBytes < kBitmapInfoHeaderSize || !ReadBitmapInfoHeader(format, formatBytes, &bih)) {
        return nullptr;
    }
    std::unique_ptr<PictureCodec> c =
        PictureCodec::Open(bih, 0, format + kBitmapInfoHeaderSize, formatBytes - kBitmapInfoHeaderSize);
    if (!c) {
        return nullptr;
    }
    std::unique_ptr<WmvFrameDecoder> decoder(new WmvFrameDecoder());
    decoder->m_codec = std::move(c);
    return decoder;
}

std::vector<uint8_t> WmvFrameDecoder::Decode(const std::vector<asf::AsfSample>& run,
                                             size_t wanted) {
    std::vector<uint8_t> picture;
    if (wanted >= run.size()) {
        return picture;
    }
    m_codec->Restart();
    const auto want = static_cast<int64_t>(wanted);
    for (size_t i = 0; i <= wanted && picture.empty(); ++i) {
        const std::vector<uint8_t>& data = run[i].data;
        if (!m_codec->Feed(data.data(), data.size(), run[i].key, static_cast<int64_t>(i), want,
                           &picture)) {
            return {};
        }
    }
    if (picture.empty()) {
        m_codec->Drain(want, &picture);
    }
    return picture;
}

int32_t DecodeWmvRangePictures(const std::string& path, uint64_t start, uint64_t end,
                               WmvRangePictures* out, const FileOpener& opener) {
    *out = WmvRangePictures();
    asf::AsfReader reader;
    if (path.empty() || wm::Failed(reader.Open(path, opener))) {
        return err::kWmvOpen;
    }
    const asf::StreamInfo* video = nullptr;
    for (const asf::StreamInfo& s : reader.Header().streams) {
        if (s.IsVideo()) {
            video = &s;
            break;
        }
    }
    out->hasVideo = video != nullptr;
    if (video == nullptr) {
        return 0;
    }
    const std::unique_ptr<WmvFrameDecoder> decoder = WmvFrameDecoder::Open(*video);
    // The video samples from the last key frame on, and the index among them
    // of the last one in the range (-1: none, or the group was given up).
    std::vector<asf::AsfSample> group;
    size_t groupBytes = 0;
    bool givenUp = false;
    int64_t lastIndex = -1;
    asf::AsfSample s;
    for (;;) {
        const wm::HRESULT r = reader.Next(s);
        if (r == wm::hr::kFalse) {
            break;
        }
        if (wm::Failed(r)) {
            return err::kWmvProcess;
        }
        if (s.time > end) {
            break;  // the extract ends at the first sample past the range
        }
        if (s.stream != video->number) {
            continue;
        }
        const bool inRange = s.time >= start;
        const bool key = s.key;
        const int64_t time = static_cast<int64_t>(s.time);
        if (key) {
            group.clear();
            groupBytes = 0;
            givenUp = false;
            lastIndex = -1;
        }
        if (!givenUp) {
            groupBytes += s.data.size();
            group.push_back(std::move(s));
            if (groupBytes > kMaxGroupBytes) {
                givenUp = true;
                group.clear();
            }
        }
        if (!inRange) {
            continue;
        }
        out->lastTime = time;
        lastIndex = givenUp ? -1 : static_cast<int64_t>(group.size()) - 1;
        if (key && out->firstKeyTime < 0) {
            out->firstKeyTime = time;
            if (decoder && !group.empty()) {
                out->firstKey = decoder->Decode(group, 0);
            }
        }
    }
    if (decoder && lastIndex >= 0) {
        out->last = decoder->Decode(group, static_cast<size_t>(lastIndex));
    }
    return 0;
}

}  // namespace trelvan
