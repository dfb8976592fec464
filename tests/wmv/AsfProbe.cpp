#include "AsfProbe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>

#include "Fixtures.h"
#include "Md5.h"
#include "Process.h"

namespace trelvan::test {

SampleMap ReadOurs(const std::string& path, std::vector<asf::AsfSample>* raw) {
    asf::AsfReader r;
    const wm::HRESULT hr = r.Open(path);
    EXPECT_EQ(hr, wm::hr::kOk) << path;
    SampleMap out;
    asf::AsfSample s;
    while (hr == wm::hr::kOk && r.Next(s) == wm::hr::kOk) {
        RefSample ref;
        ref.timeMs = static_cast<int64_t>(s.time / 10000);
        ref.key = s.key;
        ref.size = s.data.size();
        ref.md5 = Md5Hex(s.data.data(), s.data.size());
        out[s.stream].push_back(ref);
        if (raw != nullptr) {
            raw->push_back(std::move(s));
        }
    }
    return out;
}

namespace {
std::string Field(const std::string& line, const std::string& key) {
    const std::string k = "|" + key + "=";
    const auto at = line.find(k);
    if (at == std::string::npos) {
        return {};
    }
    const auto from = at + k.size();
    return line.substr(from, line.find('|', from) - from);
}
}  // namespace

SampleMap ReadFfprobe(const std::string& path, const std::vector<uint16_t>& numbers) {
    const CommandResult r = RunCommand({"ffprobe", "-v", "error", "-show_packets",
                                        "-show_data_hash", "MD5", "-of", "compact", path});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    SampleMap out;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("packet|", 0) != 0) {
            continue;
        }
        line += "|";
        const size_t index = std::stoul(Field(line, "stream_index"));
        RefSample s;
        s.timeMs = std::stoll(Field(line, "pts"));
        s.key = Field(line, "flags").find('K') != std::string::npos;
        s.size = std::stoul(Field(line, "size"));
        s.md5 = Field(line, "data_hash").substr(4);
        out[index < numbers.size() ? numbers[index] : 0].push_back(s);
    }
    return out;
}

namespace {
// "0:00:01.046000000" to milliseconds.
int64_t GstTimeMs(const std::string& t) {
    unsigned h = 0, m = 0, s = 0;
    unsigned long ns = 0;
    if (std::sscanf(t.c_str(), "%u:%u:%u.%lu", &h, &m, &s, &ns) != 4) {
        return -1;
    }
    return (static_cast<int64_t>(h) * 3600 + m * 60 + s) * 1000 + static_cast<int64_t>(ns / 1000000);
}

}  // namespace

// One gst-launch-1.0 run for all pads: each pad into a multifilesink that
// keeps every buffer's bytes in a file of its own; the demuxer's own log
// line for each buffer it pushes gives its time, size and flags.
std::string FfprobeFormats(const std::string& path) {
    const CommandResult r = RunCommand(
        {"ffprobe", "-v", "error", "-show_entries",
         "stream=codec_name,codec_tag_string,sample_rate,channels,block_align,width,height,extradata_size",
         "-of", "compact", path});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.out;
}

SampleMap ReadGstreamer(const std::string& path, const asf::AsfHeader& header,
                        std::map<uint16_t, std::string>* caps, bool bytes) {
    const std::string dir = ScratchDir();
    std::vector<std::string> argv = {"gst-launch-1.0", "-q", "filesrc", "location=" + path, "!",
                                     "asfdemux", "name=d"};
    std::map<std::string, uint16_t> pads;
    int audio = 0, video = 0;
    for (const asf::StreamInfo& s : header.streams) {
        std::string pad;
        if (s.IsAudio()) {
            pad = "audio_" + std::to_string(audio++);
        } else if (s.IsVideo()) {
            pad = "video_" + std::to_string(video++);
        } else {
            continue;
        }
        pads[pad] = s.number;
        // Queues without limits: a stream stamped far from the others
        // (video at 1000 h beside audio from 0) would otherwise fill one
        // queue before the other's sink has its first buffer.
        const std::vector<std::string> queue = {"queue", "max-size-buffers=0", "max-size-time=0",
                                                "max-size-bytes=0", "!"};
        std::vector<std::string> branch = {"d." + pad, "!"};
        branch.insert(branch.end(), queue.begin(), queue.end());
        if (bytes) {
            branch.insert(branch.end(), {"multifilesink", "location=" + dir + "/" + pad + "_%06d"});
        } else {
            branch.push_back("fakesink");
        }
        argv.insert(argv.end(), branch.begin(), branch.end());
    }
    const CommandResult r =
        RunCommand(argv, 30, {"GST_DEBUG=asfdemux:6", "GST_DEBUG_NO_COLOR=1"});
    EXPECT_EQ(r.exit_code, 0) << path;
    SampleMap out;
    std::map<std::string, int> counts;
    std::istringstream in(r.err);
    std::string line;
    while (std::getline(in, line)) {
        const auto created = line.find("Created pad ");
        if (caps != nullptr && created != std::string::npos) {
            const std::string rest = line.substr(created + 12);
            const std::string pad = rest.substr(0, rest.find(' '));
            const auto with = rest.find(" with caps ");
            if (pads.count(pad) != 0 && with != std::string::npos) {
                (*caps)[pads[pad]] = rest.substr(with + 11);
            }
            continue;
        }
        const auto at = line.find("<d:");
        if (at == std::string::npos || line.find("> pushing buffer, buffer:") == std::string::npos) {
            continue;
        }
        const std::string pad = line.substr(at + 3, line.find('>', at) - at - 3);
        RefSample s;
        const auto pts = line.find(", pts ");
        s.timeMs = GstTimeMs(line.substr(pts + 6, line.find(',', pts + 6) - pts - 6));
        s.size = std::stoul(line.substr(line.find(", size ") + 7));
        const unsigned long flags = std::stoul(line.substr(line.find(", flags 0x") + 10), nullptr, 16);
        s.key = (flags & 0x2000) == 0;  // GST_BUFFER_FLAG_DELTA_UNIT
        if (bytes) {
            char name[32];
            std::snprintf(name, sizeof name, "_%06d", counts[pad]++);
            const std::vector<uint8_t> data = ReadBytes(dir + "/" + pad + name);
            EXPECT_EQ(data.size(), s.size) << pad << " of " << path;
            s.md5 = Md5Hex(data.data(), data.size());
        }
        out[pads[pad]].push_back(s);
    }
    return out;
}

bool GstreamerTimesDiffer(const std::string& path) {
    // GStreamer stamps the second of the two 8.9 KB objects 0 like the first;
    // ffprobe gives it 1.95 s as stored.
    return path.find("mutagen_silence-2.wma") != std::string::npos;
}

std::set<uint16_t> VideoStreams(const asf::AsfHeader& h) {
    std::set<uint16_t> out;
    for (const asf::StreamInfo& s : h.streams) {
        if (s.IsVideo()) {
            out.insert(s.number);
        }
    }
    return out;
}

void ExpectSameSamples(const SampleMap& ours, const SampleMap& theirs, const std::string& who,
                       const std::set<uint16_t>& key_streams, bool times) {
    for (const auto& [number, list] : theirs) {
        const auto it = ours.find(number);
        ASSERT_NE(it, ours.end()) << who << " has stream " << number << " that we do not";
        const std::vector<RefSample>& mine = it->second;
        ASSERT_EQ(mine.size(), list.size()) << who << ", stream " << number;
        for (size_t i = 0; i < list.size(); ++i) {
            ASSERT_EQ(mine[i].size, list[i].size) << who << ", stream " << number << " sample " << i;
            ASSERT_EQ(mine[i].md5, list[i].md5) << who << ", stream " << number << " sample " << i;
            ASSERT_TRUE(!times || mine[i].timeMs == list[i].timeMs)
                << mine[i].timeMs << " vs " << list[i].timeMs << ": " << who << ", stream " << number << " sample " << i;
            if (key_streams.count(number) != 0) {
                ASSERT_EQ(mine[i].key, list[i].key) << who << ", stream " << number << " sample " << i;
            }
        }
    }
}

}  // namespace trelvan::test
