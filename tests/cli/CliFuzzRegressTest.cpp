// The inputs kept in the regression folders, replayed through what the fuzz
// targets of the operations do with them (tests/fuzz/CommandDriver): info,
// check, the link with an undamaged file of the family and verify, in this
// process. Each must end with exit 0 or 1 and leave both sources as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CommandDriver.h"
#include "Fixtures.h"

namespace trelvan {
namespace {

using fuzz::Family;

struct RegressFolder {
    const char* folder;  // under tests/
    Family family;       // RIFF files whose form is WAVE go as WAV files
};

void PrintTo(const RegressFolder& f, std::ostream* os) {
    *os << f.folder;
}

std::string Partner(Family family) {
    const std::string video = "-f lavfi -i testsrc=d=0.5:s=32x24:r=10 ";
    const std::string tone = "-f lavfi -i sine=f=400:d=0.5:r=8000 ";
    switch (family) {
        case Family::Avi:
            return test::MakeMedia("regress-partner", video + tone + "-c:v mjpeg -c:a adpcm_ms",
                                   "avi");
        case Family::Wav:
            return test::MakeMedia("regress-partner", tone + "-c:a pcm_s16le", "wav");
        case Family::Asf:
            return test::MakeMedia("regress-partner",
                                   video + tone + "-c:v wmv2 -c:a wmav2 -b:a 32k", "wmv");
        case Family::Movie:
            return test::MakeMedia("regress-partner", video + tone + "-c:v mjpeg -c:a pcm_s16be",
                                   "mov");
    }
    return {};
}

class FuzzRegress : public ::testing::TestWithParam<RegressFolder> {};

TEST_P(FuzzRegress, EveryCommandEndsCleanly) {
    const std::string dir = test::ScratchDir();
    int files = 0;
    std::vector<std::filesystem::path> paths;
    for (const auto& e : std::filesystem::directory_iterator(std::string(TRELVAN_TESTS_DIR "/") +
                                                             GetParam().folder)) {
        if (e.is_regular_file() && e.path().extension() != ".md") {
            paths.push_back(e.path());
        }
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        const std::vector<uint8_t> input = test::ReadBytes(path.string());
        Family family = GetParam().family;
        if (family == Family::Avi && input.size() >= 12 &&
            std::memcmp(input.data() + 8, "WAVE", 4) == 0) {
            family = Family::Wav;
        }
        EXPECT_EQ(fuzz::RunCommandsOn(family, input, Partner(family), dir), "") << path.filename();
        ++files;
    }
    EXPECT_GT(files, 0);
}

INSTANTIATE_TEST_SUITE_P(Folders, FuzzRegress,
                         ::testing::Values(RegressFolder{"engine/avi/regress", Family::Avi},
                                           RegressFolder{"wmv/regress", Family::Asf},
                                           RegressFolder{"mov/regress", Family::Movie}),
                         [](const auto& info) {
                             std::string n = info.param.folder;
                             return n.substr(0, n.find('/'));
                         });

}  // namespace
}  // namespace trelvan
