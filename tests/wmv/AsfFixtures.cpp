#include "AsfFixtures.h"

#include <filesystem>

#include "Fixtures.h"

namespace trelvan::test {

namespace {
const std::string kVideo = "-f lavfi -i testsrc=size=160x120:rate=10 ";
const std::string kSine = "-f lavfi -i sine=frequency=440:sample_rate=22050 ";
}  // namespace

std::vector<AsfSource> MadeAsfFiles() {
    return {
        {"wmv1_wmav1", MakeMedia("asf_wmv1", kVideo + kSine + "-t 2 -c:v wmv1 -c:a wmav1", "wmv")},
        {"wmv2_wmav2", MakeMedia("asf_wmv2", kVideo + kSine + "-t 2 -c:v wmv2 -c:a wmav2", "wmv")},
        {"msmpeg4_wmav2",
         MakeMedia("asf_msmpeg4", kVideo + kSine + "-t 2 -c:v msmpeg4 -c:a wmav2", "asf")},
        {"video_only", MakeMedia("asf_video_only", kVideo + "-t 2 -c:v wmv2 -g 5", "wmv")},
        {"audio_only", MakeMedia("asf_audio_only", kSine + "-t 3 -c:a wmav2 -b:a 32k", "wma")},
        {"two_audio",
         MakeMedia("asf_two_audio",
                   kVideo + kSine + "-f lavfi -i sine=frequency=880:sample_rate=16000 -t 2 " +
                       "-map 0:v -map 1:a -map 2:a -c:v wmv2 -c:a wmav1",
                   "wmv")},
        {"large_frames",
         MakeMedia("asf_large_frames",
                   "-f lavfi -i testsrc2=size=640x480:rate=5 -vf noise=alls=60:allf=t -t 1 -c:v wmv2 "
                   "-q:v 1 -g 2",
                   "wmv")},
        {"tiny_samples",
         MakeMedia("asf_tiny_samples",
                   "-f lavfi -i sine=frequency=300:sample_rate=8000:samples_per_frame=16 -t 4 "
                   "-c:a pcm_s16le",
                   "wma")},
    };
}

std::vector<std::string> MadeAsfFileNames() {
    return {"wmv1_wmav1", "wmv2_wmav2", "msmpeg4_wmav2", "video_only",
            "audio_only", "two_audio",  "large_frames",  "tiny_samples"};
}

std::vector<AsfSource> SampleAsfFiles() {
    std::vector<AsfSource> out;
    for (const std::string& p : SamplesIn("asf")) {
        out.push_back({std::filesystem::path(p).filename().string(), p});
    }
    return out;
}

}  // namespace trelvan::test
