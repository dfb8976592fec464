// What every AVI and audio operation's output keeps of what its first source
// says about itself, as an independent reader (ffprobe) sees it: the title
// of an INFO list, the recording date of an AVI file's IDIT chunk and the
// originator of a WAV file's broadcast extension.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <sstream>

#include "AudioExtract.h"
#include "AudioLink.h"
#include "AviExtract.h"
#include "AviLink.h"
#include "AviSeparate.h"
#include "AviUnite.h"
#include "ByteOrder.h"
#include "Fixtures.h"
#include "Process.h"

namespace trelvan {
namespace {

std::map<std::string, std::string> FormatTags(const std::string& path) {
    const test::CommandResult r = test::RunCommand(
        {"ffprobe", "-v", "error", "-show_entries", "format_tags", "-of", "default=nw=1", path});
    std::map<std::string, std::string> tags;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (line.rfind("TAG:", 0) == 0 && eq != std::string::npos) {
            tags[line.substr(4, eq - 4)] = line.substr(eq + 1);
        }
    }
    return tags;
}

// An AVI file made by ffmpeg titled `title`, with a recording date: the
// padding chunk ffmpeg leaves after the header list becomes an IDIT chunk
// and a smaller padding chunk, so nothing else moves.
std::string TitledMovie(const std::string& title) {
    const std::string made = test::MakeMedia(
        "kept-" + title,
        "-f lavfi -i testsrc=d=1:s=160x120:r=25 -f lavfi -i sine=d=1:r=22050 -c:v mpeg4 "
        "-c:a pcm_s16le -metadata title=" + title + " -f avi",
        "avi");
    const std::string path = test::CopyFile(made, test::ScratchDir());
    std::vector<uint8_t> d = test::ReadBytes(path);
    static const char kDate[] = "Mon Mar 10 15:04:43 2003\n";  // 26 bytes with the NUL
    for (size_t p = 12; p + 8 <= d.size();) {
        const uint32_t size = bytes::GetLE32(&d[p + 4]);
        if (std::memcmp(&d[p], "JUNK", 4) == 0 && size >= 64) {
            std::memcpy(&d[p], "IDIT", 4);
            bytes::PutLE32(&d[p + 4], sizeof kDate);
            std::memcpy(&d[p + 8], kDate, sizeof kDate);
            const size_t junk = p + 8 + sizeof kDate;
            std::memcpy(&d[junk], "JUNK", 4);
            bytes::PutLE32(&d[junk + 4], size - sizeof kDate - 8);
            test::WriteBytes(path, d);
            return path;
        }
        p += 8 + size + (size & 1);
    }
    ADD_FAILURE() << "no padding chunk in " << made;
    return path;
}

std::string TitledTone(const std::string& title) {
    return test::MakeMedia("kept-" + title,
                           "-f lavfi -i sine=d=1:r=22050 -c:a pcm_s16le -write_bext 1 "
                           "-metadata title=" + title + " -metadata originator=Lab",
                           "wav");
}

TEST(KeptMetadata, OutputsCarryTheFirstSourcesDescription) {
    const std::string movie = TitledMovie("FirstMovie");
    const std::string movie2 = TitledMovie("SecondMovie");
    const std::string tone = TitledTone("FirstTone");
    const std::string tone2 = TitledTone("SecondTone");
    const std::string dir = test::ScratchDir();
    const std::string date = "2003-03-10 15:04:43";

    struct Case {
        const char* name;
        const char* output;
        std::function<int32_t(const std::string& out, OpContext& ctx)> run;
        std::map<std::string, std::string> want;
    };
    const std::vector<Case> cases = {
        {"separate video", "v.avi",
         [&](const std::string& out, OpContext& ctx) {
             return RunAviSeparate({movie, out, SeparateKind::Video}, ctx, {}).code;
         },
         {{"title", "FirstMovie"}, {"creation_time", date}}},
        {"separate audio", "a.wav",
         [&](const std::string& out, OpContext& ctx) {
             return RunAviSeparate({movie, out, SeparateKind::Audio}, ctx, {}).code;
         },
         {{"title", "FirstMovie"}}},
        {"unite", "u.avi",
         [&](const std::string& out, OpContext& ctx) {
             return RunAviUnite({movie, tone, out}, ctx, {}).code;
         },
         {{"title", "FirstMovie"}, {"creation_time", date}}},
        {"avi link", "l.avi",
         [&](const std::string& out, OpContext& ctx) {
             AviLinkJob job;
             job.sources = {movie, movie2};
             job.output = out;
             return RunAviLink(job, ctx, {}).code;
         },
         {{"title", "FirstMovie"}, {"creation_time", date}}},
        {"avi extract", "e.avi",
         [&](const std::string& out, OpContext& ctx) {
             AviExtractJob job;
             job.source = movie;
             job.output = out;
             job.end = AviTime::FromMs(800);
             return RunAviExtract(job, ctx, {}, {}).code;
         },
         {{"title", "FirstMovie"}, {"creation_time", date}}},
        {"audio link", "al.wav",
         [&](const std::string& out, OpContext& ctx) {
             AudioLinkJob job;
             job.sources = {tone, tone2};
             job.output = out;
             return RunAudioLink(job, ctx, {}).code;
         },
         {{"title", "FirstTone"}, {"encoded_by", "Lab"}}},
        {"audio extract", "ae.wav",
         [&](const std::string& out, OpContext& ctx) {
             AudioExtractJob job;
             job.source = tone;
             job.output = out;
             job.end = AudioTime::FromMs(500);
             return RunAudioExtract(job, ctx, {}).code;
         },
         {{"title", "FirstTone"}, {"encoded_by", "Lab"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpContext ctx;
        const std::string out = dir + "/" + c.output;
        ASSERT_EQ(c.run(out, ctx), 0);
        const auto tags = FormatTags(out);
        for (const auto& [key, value] : c.want) {
            const auto it = tags.find(key);
            EXPECT_TRUE(it != tags.end() && it->second == value)
                << key << " = " << (it == tags.end() ? "(missing)" : it->second);
        }
    }
}

}  // namespace
}  // namespace trelvan
