#pragma once

// The FFmpeg libraries are loaded when the program first needs them (to
// decode a picture, convert audio, find a codec by its file tag or scan an
// unindexed stream for key frames), not when it starts: most cuts and joins
// never touch a codec, and loading the libraries with everything they depend
// on costs more than a small copy takes.
//
// Files that call FFmpeg include their FFmpeg headers first and this header
// after them; the calls then go through the table below under their usual
// names. Code must ask Loaded() before the first call.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

// Every FFmpeg function the program calls, with the library it lives in.
#define TRELVAN_FFMPEG_FUNCTIONS(X)               \
    X(avutil, av_audio_fifo_alloc)                \
    X(avutil, av_audio_fifo_free)                 \
    X(avutil, av_audio_fifo_read)                 \
    X(avutil, av_audio_fifo_size)                 \
    X(avutil, av_audio_fifo_write)                \
    X(avutil, av_channel_layout_copy)             \
    X(avutil, av_channel_layout_default)          \
    X(avutil, av_frame_alloc)                     \
    X(avutil, av_frame_free)                      \
    X(avutil, av_frame_get_buffer)                \
    X(avutil, av_frame_unref)                     \
    X(avutil, av_freep)                           \
    X(avutil, av_log_set_level)                   \
    X(avutil, av_mallocz)                         \
    X(avutil, av_opt_find)                        \
    X(avutil, av_opt_set_int)                     \
    X(avutil, av_samples_alloc_array_and_samples) \
    X(avutil, av_samples_set_silence)             \
    X(avcodec, av_packet_alloc)                   \
    X(avcodec, av_packet_free)                    \
    X(avcodec, av_packet_unref)                   \
    X(avcodec, av_parser_close)                   \
    X(avcodec, av_parser_init)                    \
    X(avcodec, av_parser_parse2)                  \
    X(avcodec, avcodec_alloc_context3)            \
    X(avcodec, avcodec_find_decoder)              \
    X(avcodec, avcodec_find_encoder)              \
    X(avcodec, avcodec_flush_buffers)             \
    X(avcodec, avcodec_free_context)              \
    X(avcodec, avcodec_open2)                     \
    X(avcodec, avcodec_receive_frame)             \
    X(avcodec, avcodec_receive_packet)            \
    X(avcodec, avcodec_send_frame)                \
    X(avcodec, avcodec_send_packet)               \
    X(avformat, av_codec_get_id)                  \
    X(avformat, avformat_get_riff_audio_tags)     \
    X(avformat, avformat_get_riff_video_tags)     \
    X(swresample, swr_alloc_set_opts2)            \
    X(swresample, swr_convert)                    \
    X(swresample, swr_free)                       \
    X(swresample, swr_get_out_samples)            \
    X(swresample, swr_init)                       \
    X(swresample, swr_set_matrix)                 \
    X(swscale, sws_freeContext)                   \
    X(swscale, sws_getCachedContext)              \
    X(swscale, sws_scale)

namespace trelvan::ffmpeg {

struct Functions {
#define TRELVAN_FFMPEG_MEMBER(lib, name) decltype(&::name) name = nullptr;
    TRELVAN_FFMPEG_FUNCTIONS(TRELVAN_FFMPEG_MEMBER)
#undef TRELVAN_FFMPEG_MEMBER
};

// Loads the libraries on the first call (later calls only look) and silences
// their logging; false when they or one of the functions cannot be found, and
// the program then works without decoding or converting.
bool Loaded();

// Whether an earlier Loaded() succeeded; never loads (for clean-up code,
// which has nothing to free when the libraries were never needed).
bool AlreadyLoaded();

// The loaded functions; only valid after Loaded() returned true.
const Functions& Api();

}  // namespace trelvan::ffmpeg

// The calls under their usual names (not in the file that fills the table).
#ifndef TRELVAN_FFMPEG_LOADER
#define av_audio_fifo_alloc (::trelvan::ffmpeg::Api().av_audio_fifo_alloc)
#define av_audio_fifo_free (::trelvan::ffmpeg::Api().av_audio_fifo_free)
#define av_audio_fifo_read (::trelvan::ffmpeg::Api().av_audio_fifo_read)
#define av_audio_fifo_size (::trelvan::ffmpeg::Api().av_audio_fifo_size)
#define av_audio_fifo_write (::trelvan::ffmpeg::Api().av_audio_fifo_write)
#define av_channel_layout_copy (::trelvan::ffmpeg::Api().av_channel_layout_copy)
#define av_channel_layout_default (::trelvan::ffmpeg::Api().av_channel_layout_default)
#define av_frame_alloc (::trelvan::ffmpeg::Api().av_frame_alloc)
#define av_frame_free (::trelvan::ffmpeg::Api().av_frame_free)
#define av_frame_get_buffer (::trelvan::ffmpeg::Api().av_frame_get_buffer)
#define av_frame_unref (::trelvan::ffmpeg::Api().av_frame_unref)
#define av_freep (::trelvan::ffmpeg::Api().av_freep)
#define av_log_set_level (::trelvan::ffmpeg::Api().av_log_set_level)
#define av_mallocz (::trelvan::ffmpeg::Api().av_mallocz)
#define av_opt_find (::trelvan::ffmpeg::Api().av_opt_find)
#define av_opt_set_int (::trelvan::ffmpeg::Api().av_opt_set_int)
#define av_samples_alloc_array_and_samples \
    (::trelvan::ffmpeg::Api().av_samples_alloc_array_and_samples)
#define av_samples_set_silence (::trelvan::ffmpeg::Api().av_samples_set_silence)
#define av_packet_alloc (::trelvan::ffmpeg::Api().av_packet_alloc)
#define av_packet_free (::trelvan::ffmpeg::Api().av_packet_free)
#define av_packet_unref (::trelvan::ffmpeg::Api().av_packet_unref)
#define av_parser_close (::trelvan::ffmpeg::Api().av_parser_close)
#define av_parser_init (::trelvan::ffmpeg::Api().av_parser_init)
#define av_parser_parse2 (::trelvan::ffmpeg::Api().av_parser_parse2)
#define avcodec_alloc_context3 (::trelvan::ffmpeg::Api().avcodec_alloc_context3)
#define avcodec_find_decoder (::trelvan::ffmpeg::Api().avcodec_find_decoder)
#define avcodec_find_encoder (::trelvan::ffmpeg::Api().avcodec_find_encoder)
#define avcodec_flush_buffers (::trelvan::ffmpeg::Api().avcodec_flush_buffers)
#define avcodec_free_context (::trelvan::ffmpeg::Api().avcodec_free_context)
#define avcodec_open2 (::trelvan::ffmpeg::Api().avcodec_open2)
#define avcodec_receive_frame (::trelvan::ffmpeg::Api().avcodec_receive_frame)
#define avcodec_receive_packet (::trelvan::ffmpeg::Api().avcodec_receive_packet)
#define avcodec_send_frame (::trelvan::ffmpeg::Api().avcodec_send_frame)
#define avcodec_send_packet (::trelvan::ffmpeg::Api().avcodec_send_packet)
#define av_codec_get_id (::trelvan::ffmpeg::Api().av_codec_get_id)
#define avformat_get_riff_audio_tags (::trelvan::ffmpeg::Api().avformat_get_riff_audio_tags)
#define avformat_get_riff_video_tags (::trelvan::ffmpeg::Api().avformat_get_riff_video_tags)
#define swr_alloc_set_opts2 (::trelvan::ffmpeg::Api().swr_alloc_set_opts2)
#define swr_convert (::trelvan::ffmpeg::Api().swr_convert)
#define swr_free (::trelvan::ffmpeg::Api().swr_free)
#define swr_get_out_samples (::trelvan::ffmpeg::Api().swr_get_out_samples)
#define swr_init (::trelvan::ffmpeg::Api().swr_init)
#define swr_set_matrix (::trelvan::ffmpeg::Api().swr_set_matrix)
#define sws_freeContext (::trelvan::ffmpeg::Api().sws_freeContext)
#define sws_getCachedContext (::trelvan::ffmpeg::Api().sws_getCachedContext)
#define sws_scale (::trelvan::ffmpeg::Api().sws_scale)
#endif
