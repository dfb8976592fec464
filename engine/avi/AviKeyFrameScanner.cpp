#include "AviKeyFrameScanner.h"

#include <algorithm>
#include <vector>

#include "BitmapInfoHeader.h"
#include "ErrorCodes.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "FFmpegLibraries.h"

namespace trelvan {
namespace {

// The four-character codes of the AVI video codecs whose bitstreams carry
// inter-coded pictures and that libavcodec can parse (spelled in capitals;
// files use either case). Codecs missing here keep every frame as a key
// frame, which is right for intra-only codecs (motion JPEG, uncompressed).
struct ParsedCodec {
    const char* fourcc;
    AVCodecID id;
};
constexpr ParsedCodec kParsedCodecs[] = {
    {"FMP4", AV_CODEC_ID_MPEG4},      {"DIVX", AV_CODEC_ID_MPEG4},
    {"DX50", AV_CODEC_ID_MPEG4},      {"XVID", AV_CODEC_ID_MPEG4},
    {"MP4S", AV_CODEC_ID_MPEG4},      {"M4S2", AV_CODEC_ID_MPEG4},
    {"MP4V", AV_CODEC_ID_MPEG4},      {"UMP4", AV_CODEC_ID_MPEG4},
    {"3IV2", AV_CODEC_ID_MPEG4},      {"DIV1", AV_CODEC_ID_MPEG4},
    {"RMP4", AV_CODEC_ID_MPEG4},      {"BLZ0", AV_CODEC_ID_MPEG4},
    {"SEDG", AV_CODEC_ID_MPEG4},      {"H264", AV_CODEC_ID_H264},
    {"X264", AV_CODEC_ID_H264},       {"AVC1", AV_CODEC_ID_H264},
    {"DAVC", AV_CODEC_ID_H264},       {"SMV2", AV_CODEC_ID_H264},
    {"VSSH", AV_CODEC_ID_H264},       {"Q264", AV_CODEC_ID_H264},
    {"V264", AV_CODEC_ID_H264},       {"GAVC", AV_CODEC_ID_H264},
    {"HEVC", AV_CODEC_ID_HEVC},       {"H265", AV_CODEC_ID_HEVC},
    {"X265", AV_CODEC_ID_HEVC},       {"HVC1", AV_CODEC_ID_HEVC},
    {"HEV1", AV_CODEC_ID_HEVC},       {"MPG1", AV_CODEC_ID_MPEG1VIDEO},
    {"PIM1", AV_CODEC_ID_MPEG1VIDEO}, {"MPG2", AV_CODEC_ID_MPEG2VIDEO},
    {"MPEG", AV_CODEC_ID_MPEG2VIDEO}, {"MPGV", AV_CODEC_ID_MPEG2VIDEO},
    {"MMES", AV_CODEC_ID_MPEG2VIDEO}, {"WVC1", AV_CODEC_ID_VC1},
    {"H263", AV_CODEC_ID_H263},       {"U263", AV_CODEC_ID_H263},
    {"S263", AV_CODEC_ID_H263},       {"X263", AV_CODEC_ID_H263},
    {"M263", AV_CODEC_ID_H263},       {"VP80", AV_CODEC_ID_VP8},
    {"VP90", AV_CODEC_ID_VP9},        {"AV01", AV_CODEC_ID_AV1},
};

AVCodecID ParsedCodecOf(uint32_t code) {
    char c[4];
    for (int i = 0; i < 4; ++i) {
        const char ch = static_cast<char>((code >> (8 * i)) & 0xFF);
        c[i] = ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
    }
    for (const ParsedCodec& p : kParsedCodecs) {
        if (std::equal(c, c + 4, p.fourcc)) {
            return p.id;
        }
    }
    return AV_CODEC_ID_NONE;
}

// Video codecs whose every frame is a picture of its own (in capitals; files
// use either case).
constexpr const char* kIntraOnlyCodecs[] = {
    "MJPG", "AVRN", "DMB1", "JPEG", "LJPG", "JPGL", "AVD1", "MJLS", "MJ2C", "MPNG", "PNG ",
    "PNG1", "HFYU", "FFVH", "FFV1", "LAGS", "ULRG", "ULRA", "ULY0", "ULY2", "ULY4", "ULH0",
    "ULH2", "UQY2", "MAGY", "DVSD", "DVHD", "DVSL", "DV25", "DV50", "DVH1", "CDVC", "CDVH",
    "DVCP", "DVPP", "DIB ", "RGB ", "RAW ", "UYVY", "YUY2", "YUYV", "YVYU", "2VUY", "Y422",
    "V210", "V410", "YV12", "I420", "IYUV", "NV12", "Y800", "Y8  ", "GREY", "R210", "R10K",
    "AVUI", "TGA ", "TIFF", "BMP ", "CLLC", "APCN", "APCH", "APCS", "APCO", "AP4H",
    "DNXD", "AVDN", "CFHD", "SHQ0", "SHQ2", "SHQ7", "HQX ", "FRWU",
};

bool IsIntraOnlyCode(uint32_t code) {
    char c[4];
    for (int i = 0; i < 4; ++i) {
        const char ch = static_cast<char>((code >> (8 * i)) & 0xFF);
        c[i] = ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
    }
    for (const char* intra : kIntraOnlyCodecs) {
        if (std::equal(c, c + 4, intra)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool AviKeyFrameScanner::IsIntraOnly(const AviStream& stream) {
    BITMAPINFOHEADER bih{};
    if (!ReadBitmapInfoHeader(stream.Format().data(), stream.Format().size(), &bih)) {
        return false;
    }
    // 0: uncompressed, 3: bit fields; RLE pictures (1, 2) may skip pixels
    // of the frame before.
    if (bih.biCompression == 0 || bih.biCompression == 3) {
        return true;
    }
    if (IsIntraOnlyCode(bih.biCompression)) {
        return true;
    }
    // A compression code the table does not know, with a handler it does.
    return ParsedCodecOf(bih.biCompression) == AV_CODEC_ID_NONE &&
           IsIntraOnlyCode(stream.Info().fccHandler);
}

bool AviKeyFrameScanner::MarkKeyFrames(AviStream& stream) {
    BITMAPINFOHEADER bih{};
    if (!ReadBitmapInfoHeader(stream.Format().data(), stream.Format().size(), &bih)) {
        return false;
    }
    AVCodecID id = ParsedCodecOf(bih.biCompression);
    if (id == AV_CODEC_ID_NONE) {
        id = ParsedCodecOf(stream.Info().fccHandler);
    }
    if (id == AV_CODEC_ID_NONE || !ffmpeg::Loaded()) {
        return false;
    }
    const AVCodec* codec = avcodec_find_decoder(id);
    AVCodecParserContext* parser = id == AV_CODEC_ID_NONE ? nullptr : av_parser_init(id);
    if (codec == nullptr || parser == nullptr) {
        av_parser_close(parser);
        return false;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (ctx == nullptr) {
        av_parser_close(parser);
        return false;
    }
    parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    std::vector<uint8_t> data;
    for (int64_t i = 0; i < stream.ChunkCount(); ++i) {
        const uint32_t size = stream.ChunkSize(i);
        bool key = false;
        if (size > 0) {
            data.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
            std::fill(data.end() - AV_INPUT_BUFFER_PADDING_SIZE, data.end(), 0);
            if (stream.ReadChunk(i, data.data(), size) == err::kOk) {
                uint8_t* out = nullptr;
                int out_size = 0;
                parser->key_frame = -1;
                parser->pict_type = AV_PICTURE_TYPE_NONE;
                av_parser_parse2(parser, ctx, &out, &out_size, data.data(), static_cast<int>(size),
                                 AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
                // As a demuxer decides it: the parser's own verdict, else an
                // intra picture, else (nothing known) a key frame.
                key = parser->key_frame == 1 ||
                      (parser->key_frame == -1 && (parser->pict_type == AV_PICTURE_TYPE_I ||
                                                   parser->pict_type == AV_PICTURE_TYPE_NONE));
            }
        }
        stream.SetChunkKey(i, key);
    }
    avcodec_free_context(&ctx);
    av_parser_close(parser);
    return true;
}

}  // namespace trelvan
