#include "MovProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <tuple>

#include "Fixtures.h"
#include "MovieReader.h"
#include "Probe.h"
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

std::string WithoutEdits(const std::string& path) {
    static int copies = 0;
    std::vector<uint8_t> bytes = trelvan::test::ReadBytes(path);
    // Every atom header typed 'edts' whose size fits is retyped.
    for (size_t i = 4; i + 4 <= bytes.size(); ++i) {
        if (bytes[i] == 'e' && bytes[i + 1] == 'd' && bytes[i + 2] == 't' && bytes[i + 3] == 's') {
            const uint32_t size = (uint32_t{bytes[i - 4]} << 24) | (uint32_t{bytes[i - 3]} << 16) |
                                  (uint32_t{bytes[i - 2]} << 8) | bytes[i - 1];
            if (size >= 8 && i - 4 + size <= bytes.size()) {
                bytes[i] = 'f';
                bytes[i + 1] = 'r';
                bytes[i + 2] = 'e';
                bytes[i + 3] = 'e';
            }
        }
    }
    // Without its edits a track may run past the movie's duration
    // (composition delays, priming), and qtdemux stops there: the copy's
    // movie header gives no duration, so that the tracks' own decide.
    for (size_t i = 4; i + 24 <= bytes.size(); ++i) {
        if (std::memcmp(&bytes[i], "mvhd", 4) == 0 && bytes[i + 4] == 0) {
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(i + 20),
                      bytes.begin() + static_cast<std::ptrdiff_t>(i + 24), 0);
            break;
        }
    }
    const std::string out = trelvan::test::ScratchDir() + "/no-edits" + std::to_string(++copies) + ".mov";
    trelvan::test::WriteBytes(out, bytes);
    return out;
}

std::map<std::string, GstStream> GstFrames(const std::string& path,
                                           const std::vector<std::string>& pads) {
    // Every pad is linked (an unlinked one stops qtdemux once the linked
    // ones end). GStreamer's log tracer reports every buffer the demuxer
    // pushes (size and flags); a single segment keeps the file sinks from
    // dropping buffers outside a track's time.
    const std::string dir = trelvan::test::ScratchDir();
    std::vector<std::string> argv = {"gst-launch-1.0", "-q", "filesrc", "location=" + path, "!",
                                     "qtdemux", "name=d"};
    for (const std::string& pad : pads) {
        argv.insert(argv.end(), {"d." + pad, "!", "queue", "!", "identity", "single-segment=true",
                                 "!", "filesink", "location=" + dir + "/" + pad + ".bin"});
    }
    const auto r = RunCommand(argv, 120,
                              {"GST_TRACERS=log", "GST_DEBUG=GST_BUFFER:7", "GST_DEBUG_NO_COLOR=1"});
    std::map<std::string, GstStream> out;
    for (const std::string& pad : pads) {
        GstStream& g = out[pad];
        g.ok = r.exit_code == 0;
        g.errors = r.exit_code == 0 ? "" : r.err.substr(0, 2000);
        const std::string tag = "do_push_buffer_pre:<d:" + pad + ">";
        std::istringstream in(r.err);
        std::string line;
        while (std::getline(in, line)) {
            if (line.find(tag) == std::string::npos) {
                continue;
            }
            const size_t size = line.find(", size ");
            const size_t flags = line.find(", flags 0x");
            if (size == std::string::npos || flags == std::string::npos) {
                continue;
            }
            g.sizes.push_back(static_cast<uint32_t>(std::stoul(line.substr(size + 7))));
            // GST_BUFFER_FLAG_DELTA_UNIT: not a key frame.
            g.keys.push_back((std::stoul(line.substr(flags + 10), nullptr, 16) & 0x2000) == 0);
        }
        g.bytes = trelvan::test::ReadBytes(dir + "/" + pad + ".bin");
    }
    return out;
}

}  // namespace trelvan::mov::test

namespace trelvan::mov::test {
namespace {

double ClockSeconds(const std::string& text, size_t at) {
    int h = 0, m = 0;
    double sec = 0;
    if (std::sscanf(text.c_str() + at, "%d:%d:%lf", &h, &m, &sec) != 3) {
        ADD_FAILURE() << "no time in: " << text.substr(at, 40);
    }
    return (h * 60.0 + m) * 60.0 + sec;
}

}  // namespace

std::vector<std::vector<EditSegment>> GstEditSegments(const std::string& path) {
    const auto r = RunCommand({"gst-launch-1.0", "filesrc", "location=" + path, "!", "qtdemux", "!",
                               "fakesink"},
                              120, {"GST_DEBUG=qtdemux:5", "GST_DEBUG_NO_COLOR=1"});
    std::vector<std::vector<EditSegment>> tracks;
    std::istringstream in(r.err + r.out);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("looking for edit list container") != std::string::npos) {
            tracks.emplace_back();
            continue;
        }
        const size_t created = line.find("created segment ");
        if (created == std::string::npos || tracks.empty()) {
            continue;
        }
        EditSegment s;
        s.time = ClockSeconds(line, line.find(" time ", created) + 6);
        s.duration = ClockSeconds(line, line.find("duration ", created) + 9);
        s.mediaStart = ClockSeconds(line, line.find("media_start ", created) + 12);
        tracks.back().push_back(s);
    }
    return tracks;
}

bool DecodesCleanlyIgnoringEdits(const std::string& path, std::string* errors) {
    const auto r = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-ignore_editlist", "1", "-i",
                               path, "-f", "null", "-"});
    if (errors != nullptr) {
        *errors = r.err;
    }
    return r.exit_code == 0 && r.err.empty();
}

double ProbeDuration(const std::string& path) {
    const auto r = RunCommand({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                               "csv=p=0", path});
    return std::atof(r.out.c_str());
}

}  // namespace trelvan::mov::test

namespace trelvan::mov::test {
namespace {

// "0:00:01.234000000" at `at`; -1 for none ("99:99:99.999999999").
double GstClock(const std::string& line, size_t at) {
    int h = 0, m = 0;
    double sec = 0;
    if (at == std::string::npos || std::sscanf(line.c_str() + at, "%d:%d:%lf", &h, &m, &sec) != 3 ||
        h >= 99) {
        return -1;
    }
    return (h * 60.0 + m) * 60.0 + sec;
}

uint64_t SegmentField(const std::string& line, const char* name) {
    const size_t at = line.find(std::string(name) + "=(guint64)");
    return at == std::string::npos ? 0 : std::stoull(line.substr(at + std::strlen(name) + 10));
}

}  // namespace

Presented GstPresented(const std::string& path, bool push) {
    const bool video = trelvan::test::ProbeStreamCount(path, 'v') > 0;
    const bool audio = trelvan::test::ProbeStreamCount(path, 'a') > 0;
    std::vector<std::string> argv = {"gst-launch-1.0", "-q", "filesrc", "location=" + path, "!"};
    if (push) {
        argv.insert(argv.end(), {"queue", "!"});
    }
    argv.insert(argv.end(), {"qtdemux", "name=d"});
    for (const auto& [on, pad, name] : {std::tuple{video, "d.video_0", "name=vid"},
                                       std::tuple{audio, "d.audio_0", "name=aud"}}) {
        if (on) {
            argv.insert(argv.end(), {pad, "!", "queue", "!", "decodebin", "!", "identity", name,
                                     "!", "fakesink", "sync=false"});
        }
    }
    // The log tracer reports every buffer and event each identity pushes.
    const auto r = RunCommand(argv, 60,
                              {"GST_TRACERS=log", "GST_DEBUG=GST_BUFFER:7,GST_EVENT:7",
                               "GST_DEBUG_NO_COLOR=1"});
    Presented p;
    p.ok = r.exit_code == 0;
    struct Segment {
        double base = 0, start = 0, stop = 1e18;
        bool seen = false;
    };
    Segment segs[2];
    std::istringstream in(r.err);
    std::string line;
    while (std::getline(in, line)) {
        const bool isVideo = line.find("_pre:<vid:src>") != std::string::npos;
        if (!isVideo && line.find("_pre:<aud:src>") == std::string::npos) {
            continue;
        }
        Segment& seg = segs[isVideo ? 0 : 1];
        if (line.find("do_push_event_pre") != std::string::npos) {
            if (line.find("GstSegment") != std::string::npos) {
                seg.base = SegmentField(line, "base") / 1e9;
                seg.start = SegmentField(line, "start") / 1e9;
                const uint64_t stop = SegmentField(line, "stop");
                seg.stop = stop == UINT64_MAX || stop == 0 ? 1e18 : stop / 1e9;
                seg.seen = true;
            }
            continue;
        }
        const double pts = GstClock(line, line.find(", pts ") + 6);
        const double dur = GstClock(line, line.find(", dur ") + 6);
        if (!seg.seen || pts < 0) {
            continue;
        }
        if (isVideo) {
            if (pts >= seg.start - 1e-6 && pts < seg.stop) {
                p.frames.push_back(seg.base + pts - seg.start);
            }
        } else if (dur > 0) {
            p.sound += std::max(0.0, std::min(pts + dur, seg.stop) - std::max(pts, seg.start));
        }
    }
    return p;
}

Presented FfmpegPresented(const std::string& path) {
    Presented p;
    p.ok = true;
    if (trelvan::test::ProbeStreamCount(path, 'v') > 0) {
        const auto r = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:v:0",
                                   "-f", "framecrc", "-"});
        p.ok = p.ok && r.exit_code == 0;
        double num = 1, den = 1;
        std::istringstream in(r.out);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("#tb 0: ", 0) == 0) {
                std::sscanf(line.c_str() + 7, "%lf/%lf", &num, &den);
            } else if (!line.empty() && line[0] != '#') {
                long long s = 0, dts = 0, pts = 0;
                if (std::sscanf(line.c_str(), "%lld, %lld, %lld", &s, &dts, &pts) == 3) {
                    p.frames.push_back(static_cast<double>(pts) * num / den);
                }
            }
        }
    }
    if (trelvan::test::ProbeStreamCount(path, 'a') > 0) {
        const auto r = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a:0",
                                   "-ac", "1", "-ar", "48000", "-f", "s16le", "-"});
        p.ok = p.ok && r.exit_code == 0 && r.err.empty();
        p.sound = static_cast<double>(r.out.size()) / 2 / 48000;
    }
    return p;
}

void ExpectPlaysThrough(const std::vector<std::string>& sources, const std::string& out,
                        double packet) {
    size_t frames = 0;
    double sound[2] = {};
    std::vector<Presented> source[2];
    for (size_t i = 0; i < sources.size(); ++i) {
        const auto same = std::find(sources.begin(), sources.end(), sources[i]) - sources.begin();
        // A source listed again is not played again.
        source[0].push_back(same < static_cast<std::ptrdiff_t>(i) ? source[0][same]
                                                                   : GstPresented(sources[i]));
        source[1].push_back(same < static_cast<std::ptrdiff_t>(i) ? source[1][same]
                                                                   : FfmpegPresented(sources[i]));
        frames += std::max(source[0].back().frames.size(), source[1].back().frames.size());
        // An entry's sound lasts as long as the entry (sound shorter than
        // its picture is made up with silence up to the next entry); the
        // last one's as long as it is, within the entry.
        Movie movie;
        ASSERT_EQ(ReadMovieFile(sources[i], movie, DiskFileOpener()), kNoErr);
        const double length = static_cast<double>(movie.Duration()) / movie.timescale;
        for (int k = 0; k < 2; ++k) {
            const double own = source[k].back().sound;
            sound[k] += own <= 0 ? 0 : i + 1 < sources.size() ? length : std::min(own, length);
        }
    }
    const double joins = static_cast<double>(sources.size() - 1);
    // An entry may begin up to a frame later, so that video of one frame
    // rate keeps it: its sound is made up to there.
    const std::vector<double>& shown = source[1].front().frames;
    const double frame =
        shown.size() > 1 ? (shown.back() - shown.front()) / static_cast<double>(shown.size() - 1)
                         : 0;
    const Presented got[2] = {GstPresented(out), FfmpegPresented(out)};
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k == 0 ? "GStreamer" : "ffmpeg");
        EXPECT_TRUE(got[k].ok);
        // A frame a source's own edit cuts off (a last frame without
        // duration) may show at the join, once per entry at most.
        EXPECT_GE(got[k].frames.size(), frames);
        EXPECT_LE(got[k].frames.size(), frames + sources.size());
        // (Frames that share a time in a source share it in the join.)
        EXPECT_TRUE(std::is_sorted(got[k].frames.begin(), got[k].frames.end()))
            << "frames out of order";
        EXPECT_NEAR(got[k].sound, sound[k], (packet + frame) * joins + 0.002);
    }
}

namespace {

// Packets of the first stream of a kind ('v', 'a') as ffmpeg presents them:
// checksum and time in seconds.
std::vector<std::pair<uint32_t, double>> PresentedPackets(const std::string& path, char kind) {
    const auto r =
        RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map",
                    std::string("0:") + kind + ":0", "-c", "copy", "-f", "framecrc", "-"});
    std::vector<std::pair<uint32_t, double>> packets;
    double num = 1, den = 1;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        long long s = 0, dts = 0, pts = 0, dur = 0;
        unsigned size = 0, crc = 0;
        if (line.rfind("#tb 0: ", 0) == 0) {
            std::sscanf(line.c_str() + 7, "%lf/%lf", &num, &den);
        } else if (!line.empty() && line[0] != '#' &&
                   std::sscanf(line.c_str(), "%lld, %lld, %lld, %lld, %u, 0x%x", &s, &dts, &pts,
                               &dur, &size, &crc) == 6) {
            packets.emplace_back(crc, static_cast<double>(pts) * num / den);
        }
    }
    return packets;
}

// The first sound track decoded as ffmpeg presents it: mono 16-bit
// samples and their rate.
std::pair<std::vector<int16_t>, double> DecodedSound(const std::string& path) {
    const auto rate = RunCommand({"ffprobe", "-v", "error", "-select_streams", "a:0",
                                  "-show_entries", "stream=sample_rate", "-of", "csv=p=0", path});
    const auto r = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a:0",
                               "-ac", "1", "-f", "s16le", "-"});
    std::vector<int16_t> pcm(r.out.size() / 2);
    std::memcpy(pcm.data(), r.out.data(), pcm.size() * 2);
    return {pcm, std::atof(rate.out.c_str())};
}

}  // namespace

std::vector<double> JoinSyncErrors(const std::vector<std::string>& sources,
                                   const std::string& outPath) {
    const auto video = PresentedPackets(outPath, 'v');
    const auto sound = PresentedPackets(outPath, 'a');
    // The time of the n-th place where `run` (a few packets) occurs
    // (-1e9 when there is none).
    const auto nth = [](const auto& packets, const auto& run, int n) {
        for (size_t i = 0; i + run.size() <= packets.size(); ++i) {
            if (std::equal(run.begin(), run.end(), packets.begin() + static_cast<std::ptrdiff_t>(i),
                           [](const auto& x, const auto& y) { return x.first == y.first; }) &&
                n-- == 0) {
                return packets[i].second;
            }
        }
        return -1e9;
    };
    std::vector<double> errors;
    for (size_t k = 1; k < sources.size(); ++k) {
        const auto v = PresentedPackets(sources[k], 'v');
        const auto a = PresentedPackets(sources[k], 'a');
        if (v.empty() || a.size() < 8) {
            ADD_FAILURE() << sources[k] << " has too little video or sound";
            return errors;
        }
        const int seen = static_cast<int>(std::count(
            sources.begin(), sources.begin() + static_cast<std::ptrdiff_t>(k), sources[k]));
        const double own = a[7].second - v[0].second;
        const std::vector<std::pair<uint32_t, double>> vRun(
            v.begin(), v.begin() + std::min<size_t>(v.size(), 3));
        const std::vector<std::pair<uint32_t, double>> aRun(
            a.begin() + 7, a.begin() + std::min<size_t>(a.size(), 12));
        double heard = nth(sound, aRun, seen) - own;
        if (heard < -1e8) {
            // Sound stored as frames is packed anew by ffmpeg: found in the
            // decoded sound instead (a stretch from 0.1 s on, the n-th time).
            const auto [out, rate] = DecodedSound(outPath);
            const auto [mine, ownRate] = DecodedSound(sources[k]);
            const auto from = static_cast<std::ptrdiff_t>(0.1 * ownRate);
            if (rate != ownRate || mine.size() < static_cast<size_t>(from) + 1024) {
                ADD_FAILURE() << sources[k] << " has too little sound";
                return errors;
            }
            auto at = out.begin();
            for (int n = 0; n <= seen && at != out.end(); ++n) {
                at = std::search(n == 0 ? out.begin() : at + 1, out.end(), mine.begin() + from,
                                 mine.begin() + from + 1024);
            }
            heard = at == out.end()
                        ? -1e9
                        : static_cast<double>(at - out.begin()) / rate - 0.1 + v[0].second;
        }
        errors.push_back(heard - nth(video, vRun, seen));
    }
    return errors;
}

}  // namespace trelvan::mov::test
