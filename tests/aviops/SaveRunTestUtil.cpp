#include "SaveRunTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace trelvan::test {

const std::vector<VideoCodec>& VideoCodecs() {
    static const std::vector<VideoCodec> codecs = {
        {"mpeg4-bframes", "-c:v mpeg4 -bf 2 -g 12"},
        {"h264", "-c:v libx264 -preset ultrafast -bf 2 -g 12 -pix_fmt yuv420p"},
        {"mjpeg", "-c:v mjpeg -q:v 5 -pix_fmt yuvj420p"},
        {"uncompressed", "-c:v rawvideo -pix_fmt bgr24"},
    };
    return codecs;
}

const std::vector<AudioCodec>& AudioCodecs() {
    static const std::vector<AudioCodec> codecs = {
        {"pcm8", "-c:a pcm_u8 -ar 22050"},
        {"pcm16", "-c:a pcm_s16le -ar 44100 -ac 2"},
        {"pcm24", "-c:a pcm_s24le -ar 48000"},
        {"float", "-c:a pcm_f32le -ar 44100"},
        {"mp3cbr", "-c:a libmp3lame -b:a 128k -ar 44100"},
        {"mp3vbr", "-c:a libmp3lame -q:a 4 -ar 44100"},
        {"ac3", "-c:a ac3 -b:a 192k -ar 48000 -ac 2"},
        {"ima-adpcm", "-c:a adpcm_ima_wav -ar 22050"},
        {"ms-adpcm", "-c:a adpcm_ms -ar 22050"},
    };
    return codecs;
}

std::string ToneInput(int seconds) {
    return "-f lavfi -i sine=d=" + std::to_string(seconds) + ":f=440:r=48000";
}

const std::vector<ProbedPacket>& SourcePackets(const std::string& path, const std::string& sel) {
    static std::map<std::string, std::vector<ProbedPacket>> probed;
    const std::string key = path + "\n" + sel;
    auto it = probed.find(key);
    if (it == probed.end()) {
        it = probed.emplace(key, ProbePackets(path, sel)).first;
    }
    return it->second;
}

std::vector<uint8_t> Concat(const std::vector<ProbedPacket>& packets) {
    std::vector<uint8_t> all;
    for (const auto& p : packets) {
        all.insert(all.end(), p.data.begin(), p.data.end());
    }
    return all;
}

void ExpectSamePackets(const std::vector<ProbedPacket>& want, const std::vector<ProbedPacket>& got,
                       const std::string& what) {
    ASSERT_EQ(want.size(), got.size()) << what;
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(want[i].data, got[i].data) << what << ", sample " << i;
        ASSERT_EQ(want[i].key, got[i].key) << what << ", key flag of sample " << i;
    }
}

std::map<std::string, std::string> VideoHeader(const std::string& path, const std::string& sel) {
    return ProbeStream(path, sel,
                       {"codec_name", "codec_tag", "width", "height", "r_frame_rate", "time_base",
                        "nb_frames", "pix_fmt"});
}

std::map<std::string, std::string> AudioHeader(const std::string& path, const std::string& sel) {
    return ProbeStream(path, sel,
                       {"codec_name", "sample_rate", "channels", "bits_per_sample", "sample_fmt"});
}

std::vector<std::string> HiddenFilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (!name.empty() && name[0] == '.') {
            names.push_back(name);
        }
    }
    return names;
}

}  // namespace trelvan::test
