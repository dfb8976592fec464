#pragma once

#include <string>

// Movies made with the ffmpeg tool at test time (about a second each), and
// with other writers: GStreamer's muxers and libquicktime's transcoder.
namespace trelvan::mov::test {

enum class Writer { Ffmpeg, Gstreamer, Libquicktime };

struct Recipe {
    const char* name;
    // ffmpeg: its arguments before the output. GStreamer: a gst-launch-1.0
    // pipeline whose muxer is named q (its output goes to a file).
    // libquicktime: the video and audio codec of lqt_transcode, which
    // transcodes an uncompressed movie of a second.
    const char* args;
    const char* ext;
    Writer writer = Writer::Ffmpeg;
};

// H.264 with B-frames + AAC; MPEG-4 + 16-bit PCM; MJPEG + 8-bit raw sound;
// AAC alone; H.264 alone; H.264 (time scale 600) + AAC at 48 kHz; H.264 at
// another level (another description, same size and references) + AAC at
// another rate; a fragmented MP4.
inline constexpr Recipe kH264Aac = {
    "mov-h264-aac",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
    "sine=frequency=440:sample_rate=44100:duration=1 -c:v libx264 -bf 2 -g 12 -pix_fmt yuv420p "
    "-c:a aac -b:a 64k -shortest",
    "mov"};
inline constexpr Recipe kMpeg4Pcm = {
    "mov-mpeg4-pcm",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
    "sine=frequency=330:sample_rate=22050:duration=1 -c:v mpeg4 -g 10 -c:a pcm_s16le -shortest",
    "mov"};
inline constexpr Recipe kMjpegRaw = {
    "mov-mjpeg-raw",
    "-f lavfi -i testsrc=size=128x96:rate=10:duration=1 -f lavfi -i "
    "sine=frequency=500:sample_rate=8000:duration=1 -c:v mjpeg -c:a pcm_u8 -shortest",
    "mov"};
inline constexpr Recipe kAudioOnly = {
    "mov-aac-only", "-f lavfi -i sine=frequency=600:sample_rate=44100:duration=1 -c:a aac -b:a 64k",
    "m4a"};
inline constexpr Recipe kVideoOnly = {
    "mov-h264-only",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v libx264 -bf 2 -g 12 "
    "-pix_fmt yuv420p",
    "mp4"};
inline constexpr Recipe kOtherScales = {
    "mov-h264-600-aac48",
    "-f lavfi -i testsrc=size=160x120:rate=30:duration=1 -f lavfi -i "
    "sine=frequency=440:sample_rate=48000:duration=1 -c:v libx264 -bf 2 -g 15 -pix_fmt yuv420p "
    "-video_track_timescale 600 -c:a aac -b:a 64k -shortest",
    "mov"};
inline constexpr Recipe kOtherLevel = {
    "mov-h264level-aac",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
    "sine=frequency=880:sample_rate=44100:duration=1 -c:v libx264 -bf 2 -g 12 -level:v 3.0 "
    "-pix_fmt yuv420p -c:a aac -b:a 64k -shortest",
    "mov"};
inline constexpr Recipe kFragmented = {
    "mov-fragmented",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
    "sine=frequency=440:sample_rate=44100:duration=1 -c:v libx264 -bf 2 -g 12 -pix_fmt yuv420p "
    "-c:a aac -b:a 64k -shortest -movflags frag_keyframe+empty_moov",
    "mp4"};

// Movies of other kinds and writers, for joins judged as players present
// them (1.76 s of 25 fps video where there is video).
inline constexpr Recipe kHevcAac = {
    "mov-hevc-aac",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1.76 -f lavfi -i "
    "sine=frequency=440:sample_rate=44100:duration=1.76 -c:v libx265 -x265-params "
    "log-level=none:bframes=3 -tag:v hvc1 -c:a aac -b:a 64k",
    "mov"};
inline constexpr Recipe kProresPcm = {
    "mov-prores-pcm24",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1.76 -f lavfi -i "
    "sine=frequency=440:sample_rate=48000:duration=1.76 -c:v prores_ks -profile:v 0 -c:a pcm_s24le",
    "mov"};
// IMA4 whose last chunk holds part of a packet (1.76 s at 44.1 kHz).
inline constexpr Recipe kMjpegIma4 = {
    "mov-mjpeg-ima4",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1.76 -f lavfi -i "
    "sine=frequency=440:sample_rate=44100:duration=1.76 -c:v mjpeg -c:a adpcm_ima_qt",
    "mov"};
// PCM above 65,535 Hz (a version 2 description, one table sample per
// frame), and PCM in fragments whose first one lies in the movie atom.
inline constexpr Recipe kMjpegPcm96k = {
    "mov-mjpeg-pcm96k",
    "-f lavfi -i testsrc=size=128x96:rate=25:duration=1.76 -f lavfi -i "
    "sine=frequency=440:sample_rate=96000:duration=1.76 -c:v mjpeg -ac 1 -c:a pcm_s16le",
    "mov"};
inline constexpr Recipe kFragmentedPcm = {
    "mov-fragmented-pcm",
    "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1.76 -ac 2 -c:a pcm_s16le "
    "-movflags frag_keyframe -frag_duration 500000",
    "mov"};
inline constexpr Recipe kH264AacMp4 = {
    "mp4-h264-aac",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1.76 -f lavfi -i "
    "sine=frequency=440:sample_rate=44100:duration=1.76 -c:v libx264 -bf 2 -g 12 -pix_fmt yuv420p "
    "-c:a aac -b:a 64k",
    "mp4"};
inline constexpr Recipe kQtmuxH264Aac = {
    "qtmux-h264-aac",
    "videotestsrc num-buffers=44 ! video/x-raw,width=160,height=120,framerate=25/1 ! x264enc "
    "bframes=2 key-int-max=12 ! q.video_0 audiotestsrc num-buffers=76 samplesperbuffer=1024 ! "
    "audio/x-raw,rate=44100,channels=1 ! avenc_aac ! q.audio_0 qtmux name=q",
    "mov", Writer::Gstreamer};
inline constexpr Recipe kMp4muxJpegPcm = {
    "mp4mux-jpeg-pcm",
    "videotestsrc num-buffers=44 ! video/x-raw,width=160,height=120,framerate=25/1 ! jpegenc ! "
    "q.video_0 audiotestsrc num-buffers=76 samplesperbuffer=1024 ! "
    "audio/x-raw,rate=44100,channels=1 ! q.audio_0 qtmux name=q",
    "mov", Writer::Gstreamer};
inline constexpr Recipe kLqtH264Twos = {"lqt-h264-twos", "x264 twos", "mov", Writer::Libquicktime};
inline constexpr Recipe kLqtJpegIma4 = {"lqt-jpeg-ima4", "jpeg ima4", "mov", Writer::Libquicktime};

// Phone-like clips of 30 fps B-frame video whose sound (a sweep) runs 83 ms
// longer, or ends 83 ms sooner, than the picture (also as 8-bit PCM beside
// MJPEG at 25 fps); a variable frame rate
// (every seventh frame left out); GStreamer's fragmented MP4.
inline constexpr Recipe kPhoneLongSound = {
    "phone-long-sound",
    "-f lavfi -i testsrc=size=160x120:rate=30:duration=1 -f lavfi -i "
    "aevalsrc=sin(2*PI*(200+300*t)*t):s=44100:d=1.083 -c:v libx264 -bf 2 -g 15 "
    "-pix_fmt yuv420p -c:a aac -b:a 64k",
    "mov"};
inline constexpr Recipe kPhoneShortSound = {
    "phone-short-sound",
    "-f lavfi -i testsrc=size=160x120:rate=30:duration=1 -f lavfi -i "
    "aevalsrc=sin(2*PI*(200+300*t)*t):s=44100:d=0.917 -c:v libx264 -bf 2 -g 15 "
    "-pix_fmt yuv420p -c:a aac -b:a 64k",
    "mp4"};
inline constexpr Recipe kPhonePcm = {
    "phone-pcm-u8",
    "-f lavfi -i testsrc=size=128x96:rate=25:duration=1 -f lavfi -i "
    "aevalsrc=sin(2*PI*(200+300*t)*t):s=8000:d=0.917 -c:v mjpeg -c:a pcm_u8",
    "mov"};
inline constexpr Recipe kVariableRate = {
    "vfr-h264-aac",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1.76 -f lavfi -i "
    "aevalsrc=sin(2*PI*(200+300*t)*t):s=44100:d=1.76 -vf select=mod(n\\,7) -fps_mode vfr "
    "-c:v libx264 -bf 2 -g 12 -pix_fmt yuv420p -c:a aac -b:a 64k",
    "mp4"};
inline constexpr Recipe kMp4muxFragmented = {
    "mp4mux-fragmented",
    "videotestsrc num-buffers=44 ! video/x-raw,width=160,height=120,framerate=25/1 ! x264enc "
    "bframes=2 key-int-max=12 ! q.video_0 audiotestsrc num-buffers=76 samplesperbuffer=1024 "
    "wave=white-noise ! audio/x-raw,rate=44100,channels=1 ! avenc_aac ! q.audio_0 mp4mux name=q "
    "fragment-duration=500",
    "mp4", Writer::Gstreamer};

std::string Make(const Recipe& r);

}  // namespace trelvan::mov::test
