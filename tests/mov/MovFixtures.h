#pragma once

#include <string>

// Movies made with the ffmpeg tool at test time (about a second each).
namespace trelvan::mov::test {

struct Recipe {
    const char* name;
    const char* args;  // ffmpeg arguments before the output
    const char* ext;
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

std::string Make(const Recipe& r);

}  // namespace trelvan::mov::test
