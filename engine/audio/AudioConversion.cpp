#include "AudioConversion.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "AudioFrameMath.h"
#include "MpegFrameCounter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "FFmpegLibraries.h"

namespace trelvan {

namespace {

// The highest sample rate and channel count the codecs are opened for.
constexpr uint32_t kMaxCodecRate = 768000;
constexpr uint16_t kMaxCodecChannels = 64;
// The largest ratio between the rate a stream decodes at and the rate it is
// converted to.
constexpr int64_t kMaxRateRatio = 64;

// A format block that makes sense as far as the record goes.
bool ParseFormat(std::span<const uint8_t> f, WAVEFORMATEX* out) {
    if (!ReadWaveFormat(f.data(), f.size(), out)) {
        return false;
    }
    if (f.size() >= kWaveFormatExSize && out->cbSize > f.size() - kWaveFormatExSize) {
        return false;
    }
    return out->nChannels != 0 && out->nSamplesPerSec != 0 && out->nBlockAlign != 0;
}

bool IsPcm(const WAVEFORMATEX& f) {
    return f.wFormatTag == kWaveFormatPcm;
}

// The codec of a format: PCM and float by their sample width, everything else
// through libavformat's table of RIFF audio tags.
AVCodecID CodecOf(std::span<const uint8_t> format, const WAVEFORMATEX& f) {
    uint16_t tag = f.wFormatTag;
    if (tag == kWaveFormatExtensible && format.size() >= 40) {
        tag = bytes::GetLE16(format.data() + 24);
    }
    const unsigned bits = f.wBitsPerSample;
    if (tag == kWaveFormatPcm) {
        switch (bits) {
            case 8:
                return AV_CODEC_ID_PCM_U8;
            case 16:
                return AV_CODEC_ID_PCM_S16LE;
            case 24:
                return AV_CODEC_ID_PCM_S24LE;
            case 32:
                return AV_CODEC_ID_PCM_S32LE;
            default:
                return AV_CODEC_ID_NONE;
        }
    }
    if (tag == kWaveFormatIeeeFloat) {
        return bits == 64   ? AV_CODEC_ID_PCM_F64LE
               : bits == 32 ? AV_CODEC_ID_PCM_F32LE
                            : AV_CODEC_ID_NONE;
    }
    if (!ffmpeg::Loaded()) {
        return AV_CODEC_ID_NONE;
    }
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    return av_codec_get_id(tables, tag);
}

// The size arithmetic of a format: our own table, or for a format that only
// the codec library knows, its average byte rate.
bool MathOf(std::span<const uint8_t> format, const WAVEFORMATEX& f, audio::FrameMath* m) {
    if (audio::DescribeFormat(format, m)) {
        return true;
    }
    return CodecOf(format, f) != AV_CODEC_ID_NONE && audio::DescribeByAverageRate(format, m);
}

}  // namespace

struct AudioConversion::Impl {
    std::vector<uint8_t> srcFormat, dstFormat;
    WAVEFORMATEX src{}, dst{};
    audio::FrameMath srcMath, dstMath;

    // The codec pipeline, opened on first use: decode the source, resample
    // to what the encoder takes, encode the destination.
    bool opened = false;
    AVCodecContext* dec = nullptr;
    AVCodecContext* enc = nullptr;
    AVCodecParserContext* parser = nullptr;
    SwrContext* swr = nullptr;
    // The decoded sample format, channel count and rate `swr` was set up for.
    int swrFormat = -1;
    int swrChannels = 0;
    int swrRate = 0;
    AVAudioFifo* fifo = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* encFrame = nullptr;
    AVPacket* pkt = nullptr;
    int64_t encPts = 0;

    // Frames of the MPEG audio seen on the compressed side (source when
    // decoding, destination when encoding).
    std::unique_ptr<audio::MpegFrameCounter> counter;
    bool counterOnSource = false;

    std::vector<uint8_t> pending;  // converted bytes not yet handed out
    size_t pendingPos = 0;

    ~Impl() { CloseCodecs(); }

    void CloseCodecs() {
        if (!ffmpeg::AlreadyLoaded()) {
            return;  // nothing was ever opened
        }
        avcodec_free_context(&dec);
        avcodec_free_context(&enc);
        if (parser != nullptr) {
            av_parser_close(parser);
            parser = nullptr;
        }
        swr_free(&swr);
        if (fifo != nullptr) {
            av_audio_fifo_free(fifo);
            fifo = nullptr;
        }
        av_frame_free(&frame);
        av_frame_free(&encFrame);
        av_packet_free(&pkt);
        opened = false;
        encPts = 0;
    }

    bool OpenCodecs();
    bool Decode(const uint8_t* data, size_t size);
    bool DecodePacket(const uint8_t* data, size_t size);
    bool FlushParser();
    bool Resample(AVFrame* in);
    bool EncodeFifo(bool end);
    bool Drain(AVCodecContext* c, bool encoder);
};

bool AudioConversion::Impl::OpenCodecs() {
    if (!ffmpeg::Loaded()) {
        return false;
    }
    // A record may declare any rate or channel count; decoding at a
    // nonsensical one (a resampler to 1.7 GHz) would only eat memory.
    if (src.nSamplesPerSec > kMaxCodecRate || dst.nSamplesPerSec > kMaxCodecRate ||
        src.nChannels > kMaxCodecChannels || dst.nChannels > kMaxCodecChannels) {
        return false;
    }
    const AVCodecID src_id = CodecOf(srcFormat, src);
    const AVCodecID dst_id = CodecOf(dstFormat, dst);
    const AVCodec* dcodec = avcodec_find_decoder(src_id);
    const AVCodec* ecodec = avcodec_find_encoder(dst_id);
    if (dcodec == nullptr || ecodec == nullptr) {
        return false;
    }
    dec = avcodec_alloc_context3(dcodec);
    enc = avcodec_alloc_context3(ecodec);
    frame = av_frame_alloc();
    encFrame = av_frame_alloc();
    pkt = av_packet_alloc();
    if (dec == nullptr || enc == nullptr || frame == nullptr || encFrame == nullptr ||
        pkt == nullptr) {
        return false;
    }
    dec->sample_rate = static_cast<int>(src.nSamplesPerSec);
    av_channel_layout_default(&dec->ch_layout, src.nChannels);
    dec->block_align = src.nBlockAlign;
    dec->bit_rate = static_cast<int64_t>(src.nAvgBytesPerSec) * 8;
    dec->bits_per_coded_sample = src.wBitsPerSample;
    const size_t extra = srcFormat.size() >= kWaveFormatExSize ? src.cbSize : 0;
    if (extra > 0) {
        dec->extradata = static_cast<uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
        if (dec->extradata == nullptr) {
            return false;
        }
        std::memcpy(dec->extradata, srcFormat.data() + kWaveFormatExSize, extra);
        dec->extradata_size = static_cast<int>(extra);
    }
    if (avcodec_open2(dec, dcodec, nullptr) < 0) {
        return false;
    }
    if (src_id != AV_CODEC_ID_PCM_U8 && src_id != AV_CODEC_ID_PCM_S16LE &&
        src_id != AV_CODEC_ID_PCM_S24LE && src_id != AV_CODEC_ID_PCM_S32LE &&
        src_id != AV_CODEC_ID_PCM_F32LE && src_id != AV_CODEC_ID_PCM_F64LE) {
        parser = av_parser_init(src_id);  // null for block codecs: blocks are packets
    }

    enc->sample_rate = static_cast<int>(dst.nSamplesPerSec);
    av_channel_layout_default(&enc->ch_layout, dst.nChannels);
    enc->bit_rate = static_cast<int64_t>(dst.nAvgBytesPerSec) * 8;
    enc->bits_per_coded_sample = dst.wBitsPerSample;
    enc->sample_fmt = ecodec->sample_fmts != nullptr ? ecodec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    if (av_opt_find(enc->priv_data, "block_size", nullptr, 0, 0) != nullptr) {
        av_opt_set_int(enc->priv_data, "block_size", dst.nBlockAlign, 0);
    }
    if (avcodec_open2(enc, ecodec, nullptr) < 0) {
        return false;
    }
    // A block codec must produce the blocks the destination format announces.
    if (dstMath.kind == audio::FrameMath::Kind::Blocks && enc->block_align != dst.nBlockAlign) {
        return false;
    }
    fifo = av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, 4096);
    if (fifo == nullptr) {
        return false;
    }
    opened = true;
    return true;
}

bool AudioConversion::Impl::Drain(AVCodecContext* c, bool encoder) {
    for (;;) {
        int r;
        if (encoder) {
            r = avcodec_receive_packet(c, pkt);
            if (r >= 0) {
                pending.insert(pending.end(), pkt->data, pkt->data + pkt->size);
                av_packet_unref(pkt);
                continue;
            }
        } else {
            r = avcodec_receive_frame(c, frame);
            if (r >= 0) {
                const bool ok = Resample(frame);
                av_frame_unref(frame);
                if (!ok) {
                    return false;
                }
                continue;
            }
        }
        return r == AVERROR(EAGAIN) || r == AVERROR_EOF;
    }
}

// Converts decoded samples (or with null, what the resampler still holds)
// into the encoder's sample format and queues them for the encoder.
bool AudioConversion::Impl::Resample(AVFrame* in) {
    if (swr == nullptr && in == nullptr) {
        return true;
    }
    // A stream may change its layout midway (an MPEG audio frame with other
    // channels or rate): the resampler set up for the old one would read
    // past the new frame's planes, so it is set up again for the new one.
    if (swr != nullptr && in != nullptr &&
        (in->format != swrFormat || in->ch_layout.nb_channels != swrChannels ||
         in->sample_rate != swrRate)) {
        swr_free(&swr);
    }
    if (swr == nullptr) {
        if (in->ch_layout.nb_channels <= 0 || in->sample_rate <= 0) {
            return false;
        }
        // A record whose rate is far from the one the stream decodes at (a
        // header saying 1 Hz over 44.1 kHz frames) would take a resampling
        // filter of gigabytes; no real conversion needs such a ratio.
        const int64_t from = in->sample_rate;
        const int64_t to = enc->sample_rate;
        if (from > to * kMaxRateRatio || to > from * kMaxRateRatio) {
            return false;
        }
        swrFormat = in->format;
        swrChannels = in->ch_layout.nb_channels;
        swrRate = in->sample_rate;
        if (swr_alloc_set_opts2(&swr, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                                &in->ch_layout, static_cast<AVSampleFormat>(in->format),
                                in->sample_rate, 0, nullptr) < 0) {
            return false;
        }
        // One channel to several goes to each at full level, as a plain copy.
        const int outs = enc->ch_layout.nb_channels;
        if (in->ch_layout.nb_channels == 1 && outs > 1) {
            std::vector<double> matrix(static_cast<size_t>(outs), 1.0);
            if (swr_set_matrix(swr, matrix.data(), 1) < 0) {
                return false;
            }
        }
        if (swr_init(swr) < 0) {
            return false;
        }
    }
    const int room = swr_get_out_samples(swr, in != nullptr ? in->nb_samples : 0);
    if (room < 0) {
        return false;
    }
    if (room == 0) {
        return true;
    }
    uint8_t** out = nullptr;
    if (av_samples_alloc_array_and_samples(&out, nullptr, enc->ch_layout.nb_channels, room,
                                           enc->sample_fmt, 0) < 0) {
        return false;
    }
    const int got = swr_convert(
        swr, out, room, in != nullptr ? const_cast<const uint8_t**>(in->extended_data) : nullptr,
        in != nullptr ? in->nb_samples : 0);
    bool ok = got >= 0;
    if (got > 0) {
        ok = av_audio_fifo_write(fifo, reinterpret_cast<void**>(out), got) == got;
    }
    av_freep(&out[0]);
    av_freep(&out);
    return ok;
}

bool AudioConversion::Impl::EncodeFifo(bool end) {
    const bool variable =
        enc->frame_size == 0 || (enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    const int unit = enc->frame_size > 0 ? enc->frame_size : 4096;
    for (;;) {
        int n = av_audio_fifo_size(fifo);
        if (n == 0 || (n < unit && !end)) {
            break;
        }
        const int take = std::min(n, unit);
        // A short last frame is padded with silence unless the encoder takes it.
        const bool pad = take < unit && !variable &&
                         (enc->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) == 0;
        encFrame->nb_samples = pad ? unit : take;
        encFrame->format = enc->sample_fmt;
        encFrame->sample_rate = enc->sample_rate;
        if (av_channel_layout_copy(&encFrame->ch_layout, &enc->ch_layout) < 0 ||
            av_frame_get_buffer(encFrame, 0) < 0) {
            return false;
        }
        if (pad) {
            av_samples_set_silence(encFrame->extended_data, 0, unit, enc->ch_layout.nb_channels,
                                   enc->sample_fmt);
        }
        if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(encFrame->extended_data), take) !=
            take) {
            av_frame_unref(encFrame);
            return false;
        }
        encFrame->pts = encPts;
        encPts += encFrame->nb_samples;
        const int r = avcodec_send_frame(enc, encFrame);
        av_frame_unref(encFrame);
        if (r < 0 || !Drain(enc, true)) {
            return false;
        }
    }
    return true;
}

bool AudioConversion::Impl::DecodePacket(const uint8_t* data, size_t size) {
    pkt->data = const_cast<uint8_t*>(data);
    pkt->size = static_cast<int>(size);
    const int r = avcodec_send_packet(dec, pkt);
    pkt->data = nullptr;
    pkt->size = 0;
    if (r < 0 && r != AVERROR_INVALIDDATA) {
        return false;
    }
    return Drain(dec, false);
}

// Feeds source bytes to the decoder: through the parser where the codec has
// one, else in whole blocks (the caller passes whole blocks, or at the end a
// short last one).
bool AudioConversion::Impl::Decode(const uint8_t* data, size_t size) {
    if (parser != nullptr) {
        while (size > 0) {
            uint8_t* out = nullptr;
            int out_size = 0;
            const int used =
                av_parser_parse2(parser, dec, &out, &out_size, data, static_cast<int>(size),
                                 AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0) {
                return false;
            }
            data += used;
            size -= static_cast<size_t>(used);
            if (out_size > 0 && !DecodePacket(out, static_cast<size_t>(out_size))) {
                return false;
            }
        }
        return true;
    }
    // PCM is cut into packets of up to 64 KiB of whole blocks; others block by block.
    const size_t block = src.nBlockAlign;
    const size_t step = IsPcm(src) || srcMath.kind == audio::FrameMath::Kind::Linear
                            ? std::max<size_t>(block, 65536 / block * block)
                            : block;
    while (size > 0) {
        const size_t n = std::min(size, step);
        if (!DecodePacket(data, n)) {
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// The parser holds the last frame until told that no more bytes come.
bool AudioConversion::Impl::FlushParser() {
    if (parser == nullptr) {
        return true;
    }
    uint8_t* out = nullptr;
    int out_size = 0;
    av_parser_parse2(parser, dec, &out, &out_size, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    return out_size <= 0 || DecodePacket(out, static_cast<size_t>(out_size));
}

AudioConversion::AudioConversion(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
AudioConversion::~AudioConversion() = default;

bool AudioConversion::SuggestPcm(std::span<const uint8_t> format, WAVEFORMATEX* pcm) {
    WAVEFORMATEX f{};
    audio::FrameMath m;
    if (!ParseFormat(format, &f)) {
        return false;
    }
    if (IsPcm(f)) {
        *pcm = f;
        pcm->cbSize = 0;
        return true;
    }
    if (!MathOf(format, f, &m)) {
        return false;
    }
    pcm->wFormatTag = kWaveFormatPcm;
    pcm->nChannels = f.nChannels;
    pcm->nSamplesPerSec = f.nSamplesPerSec;
    pcm->wBitsPerSample = 16;
    pcm->nBlockAlign = static_cast<uint16_t>(2 * f.nChannels);
    pcm->nAvgBytesPerSec = pcm->nSamplesPerSec * pcm->nBlockAlign;
    pcm->cbSize = 0;
    return true;
}

std::unique_ptr<AudioConversion> AudioConversion::Open(std::span<const uint8_t> source,
                                                       std::span<const uint8_t> destination) {
    auto impl = std::make_unique<Impl>();
    if (!ParseFormat(source, &impl->src) || !ParseFormat(destination, &impl->dst)) {
        return nullptr;
    }
    // One side is PCM (a codec step; PCM to PCM changes width, channels or rate).
    if (!IsPcm(impl->src) && !IsPcm(impl->dst)) {
        return nullptr;
    }
    if (!MathOf(source, impl->src, &impl->srcMath) ||
        !MathOf(destination, impl->dst, &impl->dstMath)) {
        return nullptr;
    }
    const WAVEFORMATEX& packed = IsPcm(impl->src) ? impl->dst : impl->src;
    if (packed.wFormatTag == kWaveFormatMpeg || packed.wFormatTag == kWaveFormatMpegLayer3) {
        impl->counter = std::make_unique<audio::MpegFrameCounter>(packed.nSamplesPerSec);
        impl->counterOnSource = !IsPcm(impl->src);
    }
    impl->srcFormat.assign(source.begin(), source.end());
    impl->dstFormat.assign(destination.begin(), destination.end());
    return std::unique_ptr<AudioConversion>(new AudioConversion(std::move(impl)));
}

bool AudioConversion::Size(uint32_t bytes, SizeFrom from, uint32_t* out) const {
    const Impl& d = *m_impl;
    const audio::FrameMath& in = from == SizeFrom::Source ? d.srcMath : d.dstMath;
    const audio::FrameMath& other = from == SizeFrom::Source ? d.dstMath : d.srcMath;
    const uint32_t rate_in = from == SizeFrom::Source ? d.src.nSamplesPerSec : d.dst.nSamplesPerSec;
    const uint32_t rate_out =
        from == SizeFrom::Source ? d.dst.nSamplesPerSec : d.src.nSamplesPerSec;
    uint64_t in_frames = audio::FramesInBytes(in, bytes);
    if (d.counter && d.counterOnSource == (from == SizeFrom::Source) && bytes > 0 &&
        d.counter->Bytes() == bytes) {
        in_frames = d.counter->Samples();  // exactly the frames that were seen
    }
    // Frames on the other side of a rate change: the same stretch of time.
    const uint64_t frames =
        static_cast<uint64_t>(static_cast<unsigned __int128>(in_frames) * rate_out / rate_in);
    if (frames == 0) {
        return false;
    }
    const uint64_t n = audio::BytesForFrames(other, frames);
    if (n == 0 || n > 0xFFFFFFFFull) {
        return false;
    }
    *out = static_cast<uint32_t>(n);
    return true;
}

void AudioConversion::Observe(const uint8_t* p, size_t n) {
    if (m_impl->counter) {
        m_impl->counter->Feed(p, n);
    }
}

bool AudioConversion::Prepare() {
    if (!m_impl->opened && !m_impl->OpenCodecs()) {
        m_impl->CloseCodecs();
        return false;
    }
    return true;
}

bool AudioConversion::HoldsInput() const {
    return m_impl->opened;
}

bool AudioConversion::HasPendingOutput() const {
    return m_impl->pendingPos < m_impl->pending.size();
}

bool AudioConversion::Convert(const uint8_t* src, uint32_t src_len, uint32_t* src_used,
                              uint8_t* dst, uint32_t dst_len, uint32_t* dst_used, bool end) {
    Impl& d = *m_impl;
    *src_used = 0;
    *dst_used = 0;
    if (d.pendingPos == d.pending.size()) {
        d.pending.clear();
        d.pendingPos = 0;
    }
    if (src_len > 0 || end) {
        if (!Prepare()) {
            return false;
        }
        // Without the end mark only whole source blocks are taken (PCM: whole
        // sample frames); a parser takes everything and keeps partial frames.
        uint32_t take = src_len;
        if (!end && d.parser == nullptr) {
            take -= src_len % d.src.nBlockAlign;
        }
        bool ok = d.Decode(src, take);
        if (ok && end) {
            ok = d.FlushParser() && avcodec_send_packet(d.dec, nullptr) >= 0 &&
                 d.Drain(d.dec, false) && d.Resample(nullptr);
        }
        ok = ok && d.EncodeFifo(end);
        if (ok && end) {
            ok = avcodec_send_frame(d.enc, nullptr) >= 0 && d.Drain(d.enc, true);
        }
        if (!ok || end) {
            d.CloseCodecs();  // after the end mark a later conversion starts afresh
        }
        if (!ok) {
            return false;
        }
        *src_used = take;
    }
    const size_t n = std::min<size_t>(dst_len, d.pending.size() - d.pendingPos);
    if (n > 0) {
        std::memcpy(dst, d.pending.data() + d.pendingPos, n);
        d.pendingPos += n;
    }
    *dst_used = static_cast<uint32_t>(n);
    return true;
}

}  // namespace trelvan
