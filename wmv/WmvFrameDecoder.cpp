#include "WmvFrameDecoder.h"

#include <algorithm>
#include <cstring>

#include "BitmapInfoHeader.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "FFmpegLibraries.h"

namespace trelvan {
namespace {

// Pictures larger than this many pixels are not believed.
constexpr int64_t kMaxPixels = int64_t{1} << 26;
// The samples from the last key frame on are kept to decode the last frame
// of the range; a group larger than this is given up (no picture) rather
// than held in memory.
constexpr size_t kMaxGroupBytes = size_t{256} << 20;
// Video type data of an ASF stream: width, height (4 bytes each), a flag
// byte, the format's size (2 bytes), then the BITMAPINFOHEADER and the
// codec's data.
constexpr size_t kVideoFormatAt = 11;

size_t RowBytes24(int32_t width) {
    return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
}

}  // namespace

struct WmvFrameDecoder::Codec {
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;

    ~Codec() {
        sws_freeContext(sws);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&ctx);
    }
};

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
    const int64_t w = bih.biWidth, h = bih.biHeight < 0 ? -int64_t{bih.biHeight} : bih.biHeight;
    if (w <= 0 || h <= 0 || w * h > kMaxPixels || !ffmpeg::Loaded()) {
        return nullptr;
    }
    const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
    const AVCodecID id = av_codec_get_id(tags, bih.biCompression);
    const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (codec == nullptr) {
        return nullptr;
    }
    auto c = std::make_unique<Codec>();
    c->ctx = avcodec_alloc_context3(codec);
    c->frame = av_frame_alloc();
    c->packet = av_packet_alloc();
    if (c->ctx == nullptr || c->frame == nullptr || c->packet == nullptr) {
        return nullptr;
    }
    c->ctx->width = static_cast<int>(w);
    c->ctx->height = static_cast<int>(h);
    c->ctx->codec_tag = bih.biCompression;
    c->ctx->bits_per_coded_sample = bih.biBitCount;
    c->ctx->thread_count = 1;
    if (const size_t n = formatBytes - kBitmapInfoHeaderSize; n > 0) {
        c->ctx->extradata = static_cast<uint8_t*>(av_mallocz(n + AV_INPUT_BUFFER_PADDING_SIZE));
        if (c->ctx->extradata == nullptr) {
            return nullptr;
        }
        std::memcpy(c->ctx->extradata, format + kBitmapInfoHeaderSize, n);
        c->ctx->extradata_size = static_cast<int>(n);
    }
    if (avcodec_open2(c->ctx, codec, nullptr) < 0) {
        return nullptr;
    }
    std::unique_ptr<WmvFrameDecoder> decoder(new WmvFrameDecoder());
    decoder->m_codec = std::move(c);
    return decoder;
}

// Takes one decoded frame if the decoder has one; converts it when it came
// from sample `wanted` (each packet carries its index in the run as its
// time stamp, which the decoder hands on through reordering).
bool WmvFrameDecoder::Receive(int64_t wanted, std::vector<uint8_t>* picture) {
    AVFrame* f = m_codec->frame;
    if (avcodec_receive_frame(m_codec->ctx, f) < 0) {
        return false;
    }
    if (f->pts == wanted && f->width > 0 && f->height > 0 &&
        int64_t{f->width} * f->height <= kMaxPixels) {
        m_codec->sws = sws_getCachedContext(
            m_codec->sws, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
            f->height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (m_codec->sws != nullptr) {
            const size_t row = RowBytes24(f->width);
            picture->assign(kBitmapInfoHeaderSize + row * static_cast<size_t>(f->height), 0);
            BITMAPINFOHEADER h{};
            h.biSize = kBitmapInfoHeaderSize;
            h.biWidth = f->width;
            h.biHeight = f->height;
            h.biPlanes = 1;
            h.biBitCount = 24;
            h.biCompression = kBiRgb;
            h.biSizeImage = static_cast<uint32_t>(row * static_cast<size_t>(f->height));
            WriteBitmapInfoHeader(h, picture->data());
            // Bottom-up: start at the last row and step backwards.
            uint8_t* dst[4] = {
                picture->data() + kBitmapInfoHeaderSize + row * static_cast<size_t>(f->height - 1),
                nullptr, nullptr, nullptr};
            int stride[4] = {-static_cast<int>(row), 0, 0, 0};
            sws_scale(m_codec->sws, f->data, f->linesize, 0, f->height, dst, stride);
        }
    }
    av_frame_unref(f);
    return true;
}

std::vector<uint8_t> WmvFrameDecoder::Decode(const std::vector<asf::AsfSample>& run,
                                             size_t wanted) {
    std::vector<uint8_t> picture;
    if (wanted >= run.size()) {
        return picture;
    }
    avcodec_flush_buffers(m_codec->ctx);
    AVPacket* p = m_codec->packet;
    for (size_t i = 0; i <= wanted && picture.empty(); ++i) {
        const std::vector<uint8_t>& data = run[i].data;
        m_packet.assign(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::copy(data.begin(), data.end(), m_packet.begin());
        av_packet_unref(p);
        p->data = m_packet.data();
        p->size = static_cast<int>(data.size());
        p->pts = static_cast<int64_t>(i);
        if (run[i].key) {
            p->flags |= AV_PKT_FLAG_KEY;
        }
        const int rc = avcodec_send_packet(m_codec->ctx, p);
        p->data = nullptr;
        p->size = 0;
        if (rc < 0 && rc != AVERROR_INVALIDDATA) {
            return {};  // a damaged sample is passed over, anything else ends it
        }
        while (Receive(static_cast<int64_t>(wanted), &picture)) {
        }
    }
    // Frames the decoder still holds back come out when it is drained.
    if (picture.empty() && avcodec_send_packet(m_codec->ctx, nullptr) >= 0) {
        while (Receive(static_cast<int64_t>(wanted), &picture)) {
        }
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
