#include "MovProbe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "Fixtures.h"
#include "Process.h"

namespace trelvan::mov::test {

using trelvan::test::RunCommand;

uint32_t Adler(const uint8_t* data, size_t n, uint32_t start) {
    uint32_t a = start & 0xFFFF, b = start >> 16;
    for (size_t i = 0; i < n; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

std::vector<Frame> FfmpegFrames(const std::string& path, int index, bool rawTimes) {
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error"};
    if (rawTimes) {
        argv.insert(argv.end(), {"-ignore_editlist", "1"});
    }
    argv.insert(argv.end(), {"-i", path, "-map", "0:" + std::to_string(index), "-c", "copy",
                             "-f", "framecrc", "-"});
    const auto r = RunCommand(argv);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<Frame> frames;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        Frame f;
        long long s = 0, dts = 0, pts = 0, dur = 0;
        unsigned size = 0, crc = 0;
        if (std::sscanf(line.c_str(), "%lld, %lld, %lld, %lld, %u, 0x%x", &s, &dts, &pts, &dur,
                        &size, &crc) != 6) {
            continue;
        }
        f.dts = dts;
        f.pts = pts;
        f.duration = dur;
        f.size = size;
        f.crc = crc;
        f.key = line.find("F=0x") == std::string::npos ||
                (std::stoul(line.substr(line.find("F=0x") + 4), nullptr, 16) & 1) != 0;
        frames.push_back(f);
    }
    return frames;
}

std::vector<Frame> ModelFrames(const Movie& movie, size_t track) {
    std::vector<Frame> frames;
    const Track& t = movie.tracks[track];
    int64_t dts = 0;
    std::vector<uint8_t> buf;
    for (const Sample& s : t.samples) {
        Frame f;
        f.dts = dts;
        f.pts = dts + s.cts;
        f.duration = s.duration;
        f.size = s.size;
        f.key = (s.flags & kSampleSync) != 0;
        buf.resize(s.size);
        const int64_t got = movie.sources[s.source].file->ReadAt(s.offset, buf.data(), s.size);
        EXPECT_EQ(got, static_cast<int64_t>(s.size));
        f.crc = Adler(buf.data(), buf.size());
        frames.push_back(f);
        dts += s.duration;
    }
    return frames;
}

std::vector<uint8_t> ModelBytes(const Movie& movie, size_t track) {
    std::vector<uint8_t> out;
    for (const Sample& s : movie.tracks[track].samples) {
        const size_t at = out.size();
        out.resize(at + s.size);
        movie.sources[s.source].file->ReadAt(s.offset, out.data() + at, s.size);
    }
    return out;
}

std::vector<uint8_t> FfmpegBytes(const std::string& path, int index) {
    const auto r = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-ignore_editlist", "1", "-i",
                               path, "-map", "0:" + std::to_string(index), "-c", "copy", "-f",
                               "data", "pipe:1"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return {r.out.begin(), r.out.end()};
}

GstStream GstFrames(const std::string& path, const std::string& pad) {
    GstStream g;
    const std::string dump = trelvan::test::ScratchDir() + "/gst-" + pad + ".bin";
    const auto r = RunCommand({"gst-launch-1.0", "-v", "filesrc", "location=" + path, "!",
                               "qtdemux", "name=d", "d." + pad, "!", "queue", "!", "identity",
                               "silent=false", "!", "filesink", "location=" + dump},
                              120);
    g.ok = r.exit_code == 0;
    g.errors = r.err;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t chain = line.find("identity0: last-message = chain");
        if (chain == std::string::npos) {
            continue;
        }
        const size_t open = line.find('(', line.find(')', chain));
        unsigned size = 0;
        if (open == std::string::npos || std::sscanf(line.c_str() + open, "(%u bytes", &size) != 1) {
            continue;
        }
        g.sizes.push_back(size);
        g.keys.push_back(line.find("delta-unit") == std::string::npos);
        int h = 0, m = 0;
        double sec = 0;
        const size_t pts = line.find("pts: ");
        if (pts != std::string::npos &&
            std::sscanf(line.c_str() + pts, "pts: %d:%d:%lf", &h, &m, &sec) == 3) {
            g.ptsNs.push_back(static_cast<int64_t>(((h * 60.0 + m) * 60.0 + sec) * 1e9 + 0.5));
        } else {
            g.ptsNs.push_back(-1);
        }
    }
    g.bytes = trelvan::test::ReadBytes(dump);
    return g;
}

}  // namespace trelvan::mov::test
