#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "AviFile.h"
#include "AviTestFile.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "Probe.h"
#include "Process.h"

namespace {

using namespace trelvan;
using namespace trelvan::test;

// An OpenDML file over 1 GiB (uncompressed video, so it is quick to make),
// made here and deleted afterwards: the standard indexes of every RIFF part
// are followed, and every frame agrees with ffprobe's packet checksums.
TEST(AviLargeTest, OpenDmlFileOverOneGigabyte) {
    const std::string path = ScratchDir() + "/large.avi";
    struct Remove {
        std::string p;
        ~Remove() { std::filesystem::remove(p); }
    } remove{path};
    const CommandResult made = RunCommand({"ffmpeg",
                                           "-nostdin",
                                           "-v",
                                           "error",
                                           "-y",
                                           "-f",
                                           "lavfi",
                                           "-i",
                                           "testsrc=size=640x360:rate=25",
                                           "-f",
                                           "lavfi",
                                           "-i",
                                           "sine=sample_rate=8000",
                                           "-frames:v",
                                           "1650",
                                           "-t",
                                           "66",
                                           "-c:v",
                                           "rawvideo",
                                           "-pix_fmt",
                                           "bgr24",
                                           "-c:a",
                                           "pcm_s16le",
                                           path},
                                          600);
    ASSERT_EQ(made.exit_code, 0) << made.err;
    ASSERT_GT(std::filesystem::file_size(path), uint64_t{1} << 30);

    int32_t error = 0;
    auto avi = AviFile::Open(path, &error);
    ASSERT_TRUE(avi) << error;
    EXPECT_EQ(avi->IndexSource(), AviIndexSource::OpenDml);
    ASSERT_EQ(avi->StreamCount(), 2);
    AviStream& v = avi->Stream(0);
    EXPECT_EQ(v.Length(), 1650);

    const CommandResult probe = RunCommand(
        {"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
         "packet=size,flags,data_hash", "-show_data_hash", "CRC32", "-of", "csv=p=0", path},
        600);
    ASSERT_EQ(probe.exit_code, 0) << probe.err;
    std::istringstream in(probe.out);
    std::string line;
    int32_t pos = 0;
    std::vector<uint8_t> buf;
    while (std::getline(in, line)) {
        if (line.empty()) {
            continue;
        }
        ASSERT_LT(pos, v.Length());
        int64_t bytes = 0;
        int32_t samples = 0;
        ASSERT_EQ(v.Read(pos, kReadConvenient, nullptr, 0, &bytes, &samples), err::kOk);
        buf.resize(static_cast<size_t>(bytes));
        ASSERT_EQ(v.Read(pos, kReadConvenient, buf.data(), bytes, &bytes, &samples), err::kOk);
        std::istringstream fields(line);
        std::string size, flags, hash;
        std::getline(fields, size, ',');
        std::getline(fields, flags, ',');
        std::getline(fields, hash, ',');
        ASSERT_EQ(std::to_string(bytes), size) << pos;
        ASSERT_EQ(v.IsKeyFrame(pos), flags.find('K') != std::string::npos) << pos;
        ASSERT_EQ("CRC32:" + Crc32Hex(buf.data(), buf.size()), hash) << pos;
        ++pos;
    }
    EXPECT_EQ(pos, v.Length());
    // The frames of the later RIFF parts lie past the first gigabyte.
    EXPECT_GT(v.ChunkOffset(v.ChunkCount() - 1), uint64_t{1} << 30);

    // The audio, whole, as the other reader sees it.
    AviStream& a = avi->Stream(1);
    std::vector<uint8_t> ours, theirs;
    for (int64_t i = 0; i < a.ChunkCount(); ++i) {
        std::vector<uint8_t> c(a.ChunkSize(i));
        ASSERT_EQ(a.ReadChunk(i, c.data(), static_cast<int64_t>(c.size())), err::kOk);
        ours.insert(ours.end(), c.begin(), c.end());
    }
    for (const ProbedPacket& p : ProbePackets(path, "a:0")) {
        theirs.insert(theirs.end(), p.data.begin(), p.data.end());
    }
    EXPECT_EQ(ours.size(), theirs.size());
    EXPECT_TRUE(ours == theirs);
    EXPECT_EQ(static_cast<uint64_t>(a.Length()), ours.size() / 2);
}

}  // namespace
