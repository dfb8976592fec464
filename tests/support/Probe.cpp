#include "Probe.h"

#include <gtest/gtest.h>

#include <sstream>

#include "Process.h"

namespace trelvan::test {

std::vector<ProbedPacket> ProbePackets(const std::string& path, const std::string& stream) {
    const CommandResult meta =
        RunCommand({"ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
                    "packet=size,flags", "-of", "csv=p=0", path});
    EXPECT_EQ(meta.exit_code, 0) << meta.err;
    const CommandResult data = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map",
                                           "0:" + stream, "-c", "copy", "-f", "data", "pipe:1"});
    EXPECT_EQ(data.exit_code, 0) << data.err;

    std::vector<ProbedPacket> packets;
    std::istringstream in(meta.out);
    std::string line;
    size_t offset = 0;
    while (std::getline(in, line)) {
        if (line.empty()) {
            continue;
        }
        const auto comma = line.find(',');
        ProbedPacket p;
        const size_t size = std::stoul(line.substr(0, comma));
        p.key = comma != std::string::npos && line.find('K', comma) != std::string::npos;
        if (offset + size > data.out.size()) {
            ADD_FAILURE() << "ffmpeg gave fewer bytes than ffprobe's packet sizes for " << path;
            break;
        }
        p.data.assign(data.out.begin() + static_cast<std::ptrdiff_t>(offset),
                      data.out.begin() + static_cast<std::ptrdiff_t>(offset + size));
        offset += size;
        packets.push_back(std::move(p));
    }
    EXPECT_EQ(offset, data.out.size()) << "packet sizes do not add up to the stream bytes of " << path;
    return packets;
}

std::map<std::string, std::string> ProbeStream(const std::string& path, const std::string& stream,
                                               const std::vector<std::string>& fields) {
    std::string entries = "stream=";
    for (size_t i = 0; i < fields.size(); ++i) {
        entries += (i ? "," : "") + fields[i];
    }
    const CommandResult r = RunCommand({"ffprobe", "-v", "error", "-select_streams", stream,
                                        "-show_entries", entries, "-of", "default=nw=1", path});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::map<std::string, std::string> out;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            out[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return out;
}

int ProbeStreamCount(const std::string& path, char kind) {
    const CommandResult r =
        RunCommand({"ffprobe", "-v", "error", "-select_streams", std::string(1, kind),
                    "-show_entries", "stream=index", "-of", "csv=p=0", path});
    int n = 0;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            ++n;
        }
    }
    return n;
}

bool DecodesCleanly(const std::string& path, std::string* errors) {
    const CommandResult r =
        RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"});
    if (errors != nullptr) {
        *errors = r.err;
    }
    return r.exit_code == 0 && r.err.empty();
}

}  // namespace trelvan::test
