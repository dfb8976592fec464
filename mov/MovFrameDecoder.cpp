#include "MovFrameDecoder.h"

#include <algorithm>
#include <span>

#include "AtomIterator.h"
#include "Atoms.h"
#include "BitmapInfoHeader.h"
#include "ByteOrder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "FFmpegLibraries.h"
#include "PictureCodec.h"

namespace trelvan::mov {
namespace {

// A visual sample description: the entry header (16 bytes), then through
// the colour table id (70 more); width and height at 32 and 34; the
// extension atoms follow.
constexpr size_t kVisualFixed = 86;
constexpr size_t kWidthAt = 32;
constexpr size_t kHeightAt = 34;
constexpr size_t kDepthAt = 82;

// Movie codes whose AVI code the FFmpeg tables surely know.
struct Alias {
    uint32_t movie;  // big-endian code as the description stores it
    uint32_t avi;    // as a BITMAPINFOHEADER holds it
};
constexpr Alias kAliases[] = {
    {atom::Type("avc1"), bytes::FourCC("H264")}, {atom::Type("avc3"), bytes::FourCC("H264")},
    {atom::Type("hvc1"), bytes::FourCC("HEVC")}, {atom::Type("hev1"), bytes::FourCC("HEVC")},
    {atom::Type("mp4v"), bytes::FourCC("FMP4")}, {atom::Type("jpeg"), bytes::FourCC("MJPG")},
    {atom::Type("mjpa"), bytes::FourCC("MJPG")},
};

// An MPEG-4 descriptor's tag and length at `at`; `at` moves past them.
bool Descriptor(std::span<const uint8_t> d, size_t& at, uint8_t tag, size_t& length) {
    if (at >= d.size() || d[at++] != tag) {
        return false;
    }
    length = 0;
    for (int i = 0; i < 4 && at < d.size(); ++i) {
        const uint8_t b = d[at++];
        length = (length << 7) | (b & 0x7F);
        if ((b & 0x80) == 0) {
            return true;
        }
    }
    return true;
}

// The decoder-specific bytes of an 'esds' payload (after version and
// flags): the ES descriptor, its decoder configuration, then its
// decoder-specific descriptor.
std::span<const uint8_t> EsdsDecoderInfo(std::span<const uint8_t> p) {
    size_t at = 4, length = 0;
    if (!Descriptor(p, at, 3, length) || at + 3 > p.size()) {
        return {};
    }
    at += 2;  // ES_ID
    const uint8_t flags = p[at++];
    at += (flags & 0x80) ? 2 : 0;
    if ((flags & 0x40) && at < p.size()) {
        at += 1 + p[at];
    }
    at += (flags & 0x20) ? 2 : 0;
    if (!Descriptor(p, at, 4, length) || at + 13 > p.size()) {
        return {};
    }
    at += 13;
    if (!Descriptor(p, at, 5, length) || at + length > p.size()) {
        return {};
    }
    return p.subspan(at, length);
}

// The configuration a decoder is opened with, from the entry's atoms.
std::span<const uint8_t> CodecConfig(std::span<const uint8_t> children) {
    AtomIterator it(children);
    AtomView a;
    while (it.Next(a)) {
        switch (a.type) {
            case atom::Type("avcC"):
            case atom::Type("hvcC"):
            case atom::Type("av1C"):
            case atom::Type("glbl"):
                return a.payload;
            case atom::Type("esds"):
                return EsdsDecoderInfo(a.payload);
            default:
                break;
        }
    }
    return {};
}

}  // namespace

MovFrameDecoder::MovFrameDecoder() = default;
MovFrameDecoder::~MovFrameDecoder() = default;

std::unique_ptr<MovFrameDecoder> MovFrameDecoder::Open(const Track& track) {
    if (track.handler != atom::kVide || track.descriptions.empty() ||
        track.descriptions.front().size() < kVisualFixed) {
        return nullptr;
    }
    const std::vector<uint8_t>& e = track.descriptions.front();
    const uint32_t format = bytes::GetBE32(e.data() + 4);
    BITMAPINFOHEADER bih{};
    bih.biSize = kBitmapInfoHeaderSize;
    bih.biWidth = bytes::GetBE16(e.data() + kWidthAt);
    bih.biHeight = bytes::GetBE16(e.data() + kHeightAt);
    bih.biPlanes = 1;
    bih.biBitCount = bytes::GetBE16(e.data() + kDepthAt);
    // The code in the byte order of a BITMAPINFOHEADER.
    bih.biCompression = (format >> 24) | ((format >> 8) & 0xFF00) | ((format << 8) & 0xFF0000) |
                        (format << 24);
    uint32_t alias = 0;
    for (const Alias& a : kAliases) {
        if (a.movie == format) {
            alias = a.avi;
        }
    }
    const std::span<const uint8_t> config =
        CodecConfig(std::span<const uint8_t>(e).subspan(kVisualFixed));
    std::unique_ptr<PictureCodec> c = PictureCodec::Open(bih, alias, config.data(), config.size());
    if (!c && alias != 0) {
        bih.biCompression = alias;
        c = PictureCodec::Open(bih, 0, config.data(), config.size());
    }
    if (!c) {
        return nullptr;
    }
    std::unique_ptr<MovFrameDecoder> decoder(new MovFrameDecoder());
    decoder->m_codec = std::move(c);
    return decoder;
}

std::vector<uint8_t> MovFrameDecoder::Decode(const Movie& movie, const Track& track,
                                             size_t wanted) {
    std::vector<uint8_t> picture;
    if (wanted >= track.samples.size()) {
        return picture;
    }
    m_codec->Restart();
    const auto want = static_cast<int64_t>(wanted);
    for (size_t i = 0; i <= wanted && picture.empty(); ++i) {
        const Sample& s = track.samples[i];
        if (s.source >= movie.sources.size() || !movie.sources[s.source].file) {
            return {};
        }
        m_sample.resize(s.size);
        if (movie.sources[s.source].file->ReadAt(s.offset, m_sample.data(), s.size) !=
            static_cast<int64_t>(s.size)) {
            return {};
        }
        if (!m_codec->Feed(m_sample.data(), m_sample.size(), (s.flags & kSampleSync) != 0,
                           static_cast<int64_t>(i), want, &picture)) {
            return {};
        }
    }
    if (picture.empty()) {
        m_codec->Drain(want, &picture);
    }
    return picture;
}

}  // namespace trelvan::mov
