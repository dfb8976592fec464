#include <gtest/gtest.h>


#include "AsfFixtures.h"
#include "AsfProbe.h"
#include "Fixtures.h"
#include "Process.h"

namespace {

using namespace trelvan::test;

TEST(CliAsfInfoTest, PrintsContainerStreamsAndAttributesAsJson) {
    const std::string wmv = MadeAsfFiles()[1].path;
    const auto r = RunCommand({BuiltProgram("trelvan-cli"), "info", wmv});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const SampleMap probed = ReadFfprobe(wmv, {1, 2});
    const std::string video = "{\"number\": 1, \"type\": \"video\", \"codec_tag\": \"WMV2\", ";
    const std::string audio = "{\"number\": 2, \"type\": \"audio\", \"codec_tag\": 353, ";
    for (const std::string& part :
         {std::string("{\"file\": \"") + wmv + "\", \"container\": \"asf\", \"duration\": ",
          std::string("\"preroll\": 3100, \"packet_size\": 3200, "), std::string("\"index\": \"simple\""),
          video, audio, "\"samples\": " + std::to_string(probed.at(1).size()),
          "\"samples\": " + std::to_string(probed.at(2).size()),
          std::string("\"attributes\": {\"0\": {\"Duration\": "), std::string("\"HasVideo\": true"),
          std::string("\"WM/EncodingSettings\": \"Lavf")}) {
        EXPECT_NE(r.out.find(part), std::string::npos) << part << " in " << r.out;
    }
    int keys = 0;
    for (const RefSample& s : probed.at(1)) {
        keys += s.key ? 1 : 0;
    }
    EXPECT_NE(r.out.find("\"key_samples\": " + std::to_string(keys) + "}"), std::string::npos) << r.out;
    // The play duration less the preroll, from the File Properties Object
    // that ffmpeg writes first in the header.
    const std::vector<uint8_t> b = ReadBytes(wmv);
    auto le64 = [&](size_t at) {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) {
            v = (v << 8) | b[at + i];
        }
        return v;
    };
    const long long hns = static_cast<long long>(le64(30 + 64) - le64(30 + 80) * 10000);
    EXPECT_NE(r.out.find("\"duration\": " + std::to_string(hns) + ","), std::string::npos) << r.out;
}

TEST(CliAsfInfoTest, SamplesAndDamagedFiles) {
    struct Case {
        std::string path;
        int exit;
        const char* expect;  // in standard output, or in standard error when failing
    };
    const std::string dir = ScratchDir();
    std::vector<uint8_t> bad = ReadBytes(SamplePath("asf/tinytag_grouping.wma"));
    bad[16] = 0xFF;  // Header Object size far past the file
    bad[20] = 0x7F;
    WriteBytes(dir + "/bad.wma", bad);
    const Case cases[] = {
        {SamplePath("asf/taglib_real_example.wma"), 0, "\"packets\": 0, \"index\": \"none\""},
        {SamplePath("asf/mutagen_silence-2.wma"), 0, "\"index\": \"both\""},
        {SamplePath("asf/taglib_lossless.wma"), 0, "\"codec_tag\": 355"},
        {dir + "/bad.wma", 1, "8201"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto r = RunCommand({BuiltProgram("trelvan-cli"), "info", c.path});
        EXPECT_EQ(r.exit_code, c.exit) << r.err;
        EXPECT_NE((c.exit == 0 ? r.out : r.err).find(c.expect), std::string::npos) << r.out << r.err;
    }
    const auto human = RunCommand({BuiltProgram("trelvan-cli"), "info", SamplePath("asf/filetype_fixture.asf"),
                                   "--human"});
    EXPECT_EQ(human.exit_code, 0);
    EXPECT_NE(human.out.find("Stream 2: video, codec MP43"), std::string::npos) << human.out;
    EXPECT_NE(human.out.find("Index: simple"), std::string::npos) << human.out;
}

}  // namespace
