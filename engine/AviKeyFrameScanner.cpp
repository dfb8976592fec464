#include "AviKeyFrameScanner.h"

#include <vector>

#include "BitmapInfoHeader.h"
#include "ErrorCodes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace trelvan {

bool AviKeyFrameScanner::MarkKeyFrames(AviStream& stream) {
    BITMAPINFOHEADER bih{};
    if (!ReadBitmapInfoHeader(stream.Format().data(), stream.Format().size(), &bih)) {
        return false;
    }
    const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
    AVCodecID id = av_codec_get_id(tags, bih.biCompression);
    if (id == AV_CODEC_ID_NONE) {
        id = av_codec_get_id(tags, stream.Info().fccHandler);
    }
    const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
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
