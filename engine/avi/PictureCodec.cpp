#include "PictureCodec.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "FFmpegLibraries.h"

namespace trelvan {

size_t RowBytes24(int32_t width) {
    return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
}

void SetPackedPictureHeader(int32_t width, int32_t height, std::vector<uint8_t>* picture) {
    const size_t row = RowBytes24(width);
    picture->assign(kBitmapInfoHeaderSize + row * static_cast<size_t>(height), 0);
    BITMAPINFOHEADER h{};
    h.biSize = kBitmapInfoHeaderSize;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = kBiRgb;
    h.biSizeImage = static_cast<uint32_t>(row * static_cast<size_t>(height));
    WriteBitmapInfoHeader(h, picture->data());
}

PictureCodec::~PictureCodec() {
    sws_freeContext(sws);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
}

std::unique_ptr<PictureCodec> PictureCodec::Open(const BITMAPINFOHEADER& bih, uint32_t handler,
                                                 const uint8_t* extra, size_t extra_bytes) {
    const int64_t w = bih.biWidth, h = bih.biHeight < 0 ? -int64_t{bih.biHeight} : bih.biHeight;
    if (w <= 0 || h <= 0 || w * h > kMaxPicturePixels || !ffmpeg::Loaded()) {
        return nullptr;
    }
    const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
    AVCodecID id = av_codec_get_id(tags, bih.biCompression);
    if (id == AV_CODEC_ID_NONE && handler != 0) {
        id = av_codec_get_id(tags, handler);
    }
    const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (codec == nullptr) {
        return nullptr;
    }
    auto c = std::make_unique<PictureCodec>();
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
    if (extra_bytes > 0) {
        c->ctx->extradata =
            static_cast<uint8_t*>(av_mallocz(extra_bytes + AV_INPUT_BUFFER_PADDING_SIZE));
        if (c->ctx->extradata == nullptr) {
            return nullptr;
        }
        std::memcpy(c->ctx->extradata, extra, extra_bytes);
        c->ctx->extradata_size = static_cast<int>(extra_bytes);
    }
    if (avcodec_open2(c->ctx, codec, nullptr) < 0) {
        return nullptr;
    }
    return c;
}

bool PictureCodec::ToPicture(const AVFrame* f, std::vector<uint8_t>* picture) {
    if (f->width <= 0 || f->height <= 0 || int64_t{f->width} * f->height > kMaxPicturePixels) {
        return false;
    }
    sws = sws_getCachedContext(sws, f->width, f->height, static_cast<AVPixelFormat>(f->format),
                               f->width, f->height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr,
                               nullptr, nullptr);
    if (sws == nullptr) {
        return false;
    }
    SetPackedPictureHeader(f->width, f->height, picture);
    // Bottom-up: start at the last row and step backwards.
    const size_t row = RowBytes24(f->width);
    uint8_t* dst[4] = {
        picture->data() + kBitmapInfoHeaderSize + row * static_cast<size_t>(f->height - 1),
        nullptr, nullptr, nullptr};
    int stride[4] = {-static_cast<int>(row), 0, 0, 0};
    sws_scale(sws, f->data, f->linesize, 0, f->height, dst, stride);
    return true;
}

void PictureCodec::Restart() { avcodec_flush_buffers(ctx); }

void PictureCodec::ReceiveAll(int64_t wanted, std::vector<uint8_t>* picture) {
    while (avcodec_receive_frame(ctx, frame) >= 0) {
        // The picture's own time (the decoder moves packet times through its
        // reordering); the best-effort guess only when it has none: with
        // B-frames that guess follows decode order, another picture's.
        const int64_t at = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
        if (at == wanted) {
            ToPicture(frame, picture);
        }
        av_frame_unref(frame);
    }
}

bool PictureCodec::Feed(const uint8_t* data, size_t size, bool key, int64_t index,
                        int64_t wanted, std::vector<uint8_t>* picture) {
    padded_.assign(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    if (size > 0) {
        std::memcpy(padded_.data(), data, size);
    }
    av_packet_unref(packet);
    packet->data = padded_.data();
    packet->size = static_cast<int>(size);
    packet->pts = index;
    packet->dts = index;
    if (key) {
        packet->flags |= AV_PKT_FLAG_KEY;
    }
    const int rc = avcodec_send_packet(ctx, packet);
    packet->data = nullptr;
    packet->size = 0;
    if (rc < 0 && rc != AVERROR_INVALIDDATA) {
        return false;
    }
    ReceiveAll(wanted, picture);
    return true;
}

void PictureCodec::Drain(int64_t wanted, std::vector<uint8_t>* picture) {
    if (avcodec_send_packet(ctx, nullptr) >= 0) {
        ReceiveAll(wanted, picture);
    }
}

}  // namespace trelvan
