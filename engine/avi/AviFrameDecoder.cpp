#include "AviFrameDecoder.h"

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

AviFrameDecoder::AviFrameDecoder(AviStream& stream) : m_stream(stream) {}

AviFrameDecoder::~AviFrameDecoder() = default;

std::unique_ptr<AviFrameDecoder> AviFrameDecoder::Open(AviStream& stream) {
    if (!stream.IsVideo()) {
        return nullptr;
    }
    const std::vector<uint8_t>& format = stream.Format();
    BITMAPINFOHEADER bih{};
    if (!ReadBitmapInfoHeader(format.data(), format.size(), &bih)) {
        return nullptr;
    }
    const int64_t w = bih.biWidth, h = bih.biHeight < 0 ? -int64_t{bih.biHeight} : bih.biHeight;
    if (w <= 0 || h <= 0 || w * h > kMaxPicturePixels) {
        return nullptr;
    }
    std::unique_ptr<AviFrameDecoder> d(new AviFrameDecoder(stream));
    d->m_width = static_cast<int32_t>(w);
    d->m_height = static_cast<int32_t>(h);
    const bool rgb = bih.biCompression == kBiRgb || bih.biCompression == kBiBitFields;
    const uint16_t bits = bih.biBitCount;
    if (rgb && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
        d->m_uncompressed = true;
        return d;
    }
    // A compressed stream: the codec named by the picture compression, else
    // by the stream handler.
    const size_t header = std::min<size_t>(format.size(), kBitmapInfoHeaderSize);
    d->m_codec = PictureCodec::Open(bih, stream.Info().fccHandler, format.data() + header,
                                    format.size() - header);
    if (!d->m_codec) {
        return nullptr;
    }
    return d;
}

void AviFrameDecoder::SetPictureHeader() {
    SetPackedPictureHeader(m_width, m_height, &m_picture);
}

// Converts an uncompressed DIB frame (1 to 32 bits per pixel, bottom-up or
// top-down, palette or bit fields from the format) to 24-bit bottom-up rows.
bool AviFrameDecoder::ConvertUncompressed(const uint8_t* data, size_t n) {
    const std::vector<uint8_t>& format = m_stream.Format();
    BITMAPINFOHEADER bih{};
    ReadBitmapInfoHeader(format.data(), format.size(), &bih);
    const uint32_t bits = bih.biBitCount;
    const size_t in_row = ((static_cast<size_t>(m_width) * bits + 31) / 32) * 4;
    if (n < in_row * static_cast<size_t>(m_height)) {
        return false;  // a short frame
    }
    // Palette (B, G, R, 0 per entry) after the header, for up to 8 bits.
    uint8_t palette[256][3] = {};
    if (bits <= 8) {
        const size_t entries = std::min<size_t>(
            (format.size() - std::min<size_t>(format.size(), 40)) / 4, size_t{1} << bits);
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t* q = format.data() + 40 + i * 4;
            palette[i][0] = q[0];
            palette[i][1] = q[1];
            palette[i][2] = q[2];
        }
    }
    // 16 bits: 5-5-5 unless bit fields say otherwise (5-6-5).
    bool rgb565 = false;
    if (bits == 16 && bih.biCompression == kBiBitFields && format.size() >= 52) {
        rgb565 = bytes::GetLE32(format.data() + 40) == 0xF800;
    }
    SetPictureHeader();
    const size_t out_row = RowBytes24(m_width);
    const bool top_down = bih.biHeight < 0;
    for (int32_t y = 0; y < m_height; ++y) {
        const uint8_t* src = data + in_row * static_cast<size_t>(top_down ? m_height - 1 - y : y);
        uint8_t* dst = m_picture.data() + kBitmapInfoHeaderSize + out_row * static_cast<size_t>(y);
        for (int32_t x = 0; x < m_width; ++x, dst += 3) {
            switch (bits) {
                case 24:
                    std::memcpy(dst, src + x * 3, 3);
                    break;
                case 32:
                    std::memcpy(dst, src + x * 4, 3);
                    break;
                case 16: {
                    const uint16_t v = bytes::GetLE16(src + x * 2);
                    if (rgb565) {
                        dst[0] = static_cast<uint8_t>((v & 0x1F) << 3);
                        dst[1] = static_cast<uint8_t>(((v >> 5) & 0x3F) << 2);
                        dst[2] = static_cast<uint8_t>(((v >> 11) & 0x1F) << 3);
                    } else {
                        dst[0] = static_cast<uint8_t>((v & 0x1F) << 3);
                        dst[1] = static_cast<uint8_t>(((v >> 5) & 0x1F) << 3);
                        dst[2] = static_cast<uint8_t>(((v >> 10) & 0x1F) << 3);
                    }
                    break;
                }
                default: {
                    const size_t bit = static_cast<size_t>(x) * bits;
                    const uint32_t byte = src[bit / 8];
                    const uint32_t idx = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                    std::memcpy(dst, palette[idx], 3);
                    break;
                }
            }
        }
    }
    return true;
}

bool AviFrameDecoder::SendChunk(int64_t chunk) {
    const uint32_t size = m_stream.ChunkSize(chunk);
    m_chunk.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
    std::fill(m_chunk.end() - AV_INPUT_BUFFER_PADDING_SIZE, m_chunk.end(), 0);
    if (m_stream.ReadChunk(chunk, m_chunk.data(), size) != err::kOk) {
        return false;
    }
    AVPacket* p = m_codec->packet;
    av_packet_unref(p);
    p->data = m_chunk.data();
    p->size = static_cast<int>(size);
    p->pts = chunk;
    if (m_stream.ChunkIsKey(chunk)) {
        p->flags |= AV_PKT_FLAG_KEY;
    }
    const int rc = avcodec_send_packet(m_codec->ctx, p);
    p->data = nullptr;
    p->size = 0;
    // A damaged chunk is skipped; the decoder goes on with the next one.
    return rc >= 0 || rc == AVERROR_INVALIDDATA;
}

// Takes one decoded frame if the decoder has one; converts it into the
// picture when it came from chunk `wanted` (each packet carries its chunk
// number as its time stamp, which the decoder hands on through reordering).
bool AviFrameDecoder::ReceiveInto(int64_t wanted, bool* got_wanted) {
    const int rc = avcodec_receive_frame(m_codec->ctx, m_codec->frame);
    if (rc < 0) {
        return false;
    }
    AVFrame* f = m_codec->frame;
    if (f->pts == wanted && m_codec->ToPicture(f, &m_picture)) {
        m_width = f->width;
        m_height = f->height;
        *got_wanted = true;
    }
    av_frame_unref(f);
    return true;
}

// Decodes the picture that chunk `target` carries. Decoding starts one key
// frame earlier than the one before the target, so that frames of an open
// group (which refer back across the key frame) have their references; a
// run already under way is continued when the target still lies ahead.
bool AviFrameDecoder::DecodeCompressed(int64_t target) {
    const int32_t start = m_stream.Start();
    const int32_t key_pos = m_stream.FindPrevKeyFrame(start + static_cast<int32_t>(target));
    const int64_t key = key_pos < 0 ? 0 : key_pos - start;
    int64_t from = key;
    if (key > 0) {
        const int32_t before = m_stream.FindPrevKeyFrame(start + static_cast<int32_t>(key) - 1);
        from = before < 0 ? 0 : before - start;
    }
    const bool running = m_startChunk >= 0 && !m_flushed;
    if (!(running && m_startChunk <= key && target >= m_nextChunk)) {
        avcodec_flush_buffers(m_codec->ctx);
        m_flushed = false;
        m_startChunk = from;
        m_nextChunk = from;
    }
    bool got = false;
    while (!got) {
        if (ReceiveInto(target, &got)) {
            continue;
        }
        if (m_nextChunk < m_stream.ChunkCount()) {
            const int64_t chunk = m_nextChunk++;
            if (m_stream.ChunkSize(chunk) != 0 && !SendChunk(chunk)) {
                return false;
            }
            continue;
        }
        if (m_flushed) {
            return false;  // the decoder has nothing more to give
        }
        avcodec_send_packet(m_codec->ctx, nullptr);
        m_flushed = true;
    }
    return true;
}

const uint8_t* AviFrameDecoder::GetFrame(int32_t pos) {
    if (pos == m_lastPos && !m_picture.empty()) {
        return m_picture.data();
    }
    const int64_t idx = static_cast<int64_t>(pos) - m_stream.Start();
    if (idx < 0 || idx >= m_stream.ChunkCount()) {
        return nullptr;
    }
    // A dropped frame (0 bytes) repeats the last stored frame before it.
    int64_t chunk = idx;
    while (chunk >= 0 && m_stream.ChunkSize(chunk) == 0) {
        --chunk;
    }
    bool ok = false;
    if (chunk < 0) {
        ok = false;
    } else if (m_uncompressed) {
        const uint32_t size = m_stream.ChunkSize(chunk);
        m_chunk.resize(size);
        ok = m_stream.ReadChunk(chunk, m_chunk.data(), size) == err::kOk &&
             ConvertUncompressed(m_chunk.data(), size);
    } else {
        ok = DecodeCompressed(chunk);
    }
    if (!ok) {
        m_lastPos = -1;
        m_startChunk = -1;
        return nullptr;
    }
    m_lastPos = pos;
    return m_picture.data();
}

}  // namespace trelvan
