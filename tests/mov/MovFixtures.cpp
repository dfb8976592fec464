#include "MovFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "Fixtures.h"
#include "Process.h"

namespace trelvan::mov::test {
namespace {

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

// One movie of another writer, made once per test binary.
std::string MakeWithTool(const Recipe& r) {
    static std::map<std::string, std::string> made;
    if (const auto it = made.find(r.name); it != made.end()) {
        return it->second;
    }
    const std::string out = trelvan::test::ScratchDir() + "/" + r.name + "." + r.ext;
    std::vector<std::string> argv;
    if (r.writer == Writer::Gstreamer) {
        argv = {"gst-launch-1.0", "-q"};
        for (const std::string& w : Words(r.args)) {
            argv.push_back(w);
        }
        argv.insert(argv.end(), {"q.", "!", "filesink", "location=" + out});
    } else {
        const std::string raw = trelvan::test::MakeMedia(
            "mov-uncompressed",
            "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
            "sine=frequency=440:sample_rate=44100:duration=1 -c:v rawvideo -pix_fmt uyvy422 "
            "-c:a pcm_s16be",
            "mov");
        const std::vector<std::string> codecs = Words(r.args);
        argv = {"lqt_transcode", "-vc", codecs.at(0), "-ac", codecs.at(1), raw, out};
    }
    const auto result = trelvan::test::RunCommand(argv, 300);
    if (result.exit_code != 0 || !std::filesystem::exists(out)) {
        ADD_FAILURE() << "cannot make " << r.name << ": " << result.err;
        throw std::runtime_error(std::string("fixture not made: ") + r.name);
    }
    made[r.name] = out;
    return out;
}

}  // namespace

std::string Make(const Recipe& r) {
    return r.writer == Writer::Ffmpeg ? trelvan::test::MakeMedia(r.name, r.args, r.ext)
                                      : MakeWithTool(r);
}

}  // namespace trelvan::mov::test
