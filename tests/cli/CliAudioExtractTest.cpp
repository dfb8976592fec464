// trelvan-cli audio-extract, run as a program.
#include <gtest/gtest.h>

#include "ByteOrder.h"
#include "Fixtures.h"
#include "Process.h"

namespace trelvan {
namespace {

uint32_t DataBytes(const std::string& wav) {
    const std::vector<uint8_t> b = test::ReadBytes(wav);
    for (size_t pos = 12; pos + 8 <= b.size();) {
        const uint32_t size = bytes::GetLE32(b.data() + pos + 4);
        if (std::string(reinterpret_cast<const char*>(b.data() + pos), 4) == "data") {
            return size;
        }
        pos += 8 + size + (size & 1);
    }
    return 0xFFFFFFFFu;
}

TEST(CliAudioExtract, RangeDefaultsAndFailures) {
    const std::string dir = test::ScratchDir();
    const std::string src = test::CopyFile(
        test::MakeMedia("ten-seconds",
                        "-f lavfi -i anoisesrc=d=10:r=44100:a=0.5:s=7 -ac 2 -c:a pcm_s16le", "wav"),
        dir);
    const std::string cli = test::BuiltProgram("trelvan-cli");

    auto r = test::RunCommand({cli, "audio-extract", src, "--start", "0:0:2.500", "--end", "0:0:5",
                               "-o", dir + "/r.wav"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(DataBytes(dir + "/r.wav"), 441000u);

    // Whole length, default name beside the source.
    r = test::RunCommand({cli, "audio-extract", src, "--quiet"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(DataBytes(src.substr(0, src.size() - 4) + "_extr.wav"), 1764000u);

    r = test::RunCommand({cli, "audio-extract", dir + "/missing.wav", "-o", dir + "/m.wav"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("missing.wav: the file does not open (error 1002)"), std::string::npos) << r.err;

    r = test::RunCommand({cli, "audio-extract", src, "-o", src});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("(error 6006)"), std::string::npos) << r.err;
    EXPECT_EQ(DataBytes(src), 1764000u);  // the source is untouched

    r = test::RunCommand({cli, "audio-extract", src, "--end", "soon"});
    EXPECT_EQ(r.exit_code, 2);
}

}  // namespace
}  // namespace trelvan
