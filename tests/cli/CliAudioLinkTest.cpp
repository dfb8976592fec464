// trelvan-cli audio-link, run as a program.
#include <gtest/gtest.h>
#include <sys/stat.h>

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

std::string Pcm(int seconds, int seed) {
    return test::MakeMedia("pcm-" + std::to_string(seconds) + "s-" + std::to_string(seed),
                           "-f lavfi -i anoisesrc=d=" + std::to_string(seconds) +
                               ":r=44100:a=0.5:s=" + std::to_string(seed) + " -ac 2 -c:a pcm_s16le",
                           "wav");
}

TEST(CliAudioLink, DefaultsAndFailures) {
    const std::string dir = test::ScratchDir();
    const std::string a = test::CopyFile(Pcm(1, 1), dir);
    const std::string b = test::CopyFile(Pcm(2, 2), dir);
    const std::string cli = test::BuiltProgram("trelvan-cli");

    // Default name beside the first source; sources in the order given.
    auto r = test::RunCommand({cli, "audio-link", a, b, "--quiet"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(DataBytes(a.substr(0, a.size() - 4) + "_link.wav"), 529200u);

    r = test::RunCommand({cli, "audio-link", "-o", dir + "/three.wav", b, a, b});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(DataBytes(dir + "/three.wav"), 5u * 176400u);

    // A missing third entry: 1002 naming it, nothing written.
    r = test::RunCommand({cli, "audio-link", a, b, dir + "/missing.wav", "-o", dir + "/m.wav"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("missing.wav: the file does not open (error 1002)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing.wav"), std::string::npos) << r.err;
    struct stat st {};
    EXPECT_NE(::stat((dir + "/m.wav").c_str(), &st), 0);

    // The output names a source: refused, the source untouched.
    r = test::RunCommand({cli, "audio-link", a, b, "-o", b});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("(error 6006)"), std::string::npos) << r.err;
    EXPECT_EQ(DataBytes(b), 352800u);

    r = test::RunCommand({cli, "audio-link", "-o", dir + "/none.wav"});
    EXPECT_EQ(r.exit_code, 2);
}

// A list longer than the session's allowance of open files (every source
// stays open during the link): the program asks for the allowance the
// system grants it, so the link runs through.
TEST(CliAudioLink, MoreSourcesThanTheDefaultOpenFileAllowance) {
    const std::string a = Pcm(1, 21);
    const std::string dir = test::ScratchDir();
    std::string command = "ulimit -Sn 40 && exec '" + test::BuiltProgram("trelvan-cli") +
                          "' audio-link --quiet -o '" + dir + "/many.wav'";
    for (int i = 0; i < 100; ++i) {
        command += " '" + a + "'";
    }
    const auto r = test::RunCommand({"bash", "-c", command});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(DataBytes(dir + "/many.wav"), 100u * 176400u);
}

}  // namespace
}  // namespace trelvan
