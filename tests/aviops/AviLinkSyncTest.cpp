// AVI link keeps every entry's sound with its picture: clips whose audio runs
// longer or shorter than their video, or has none, are linked six at a time
// and the output's sound is decoded (ffmpeg) to find where each entry's
// audio begins: every clip's audio opens with a short beep, so the beeps'
// onsets against the video joins measure the sync at every join.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AviLink.h"
#include "Fixtures.h"
#include "JoinCheckAvi.h"
#include "OutputPlan.h"
#include "OutputVerify.h"
#include "Probe.h"
#include "Process.h"

namespace trelvan {
namespace {

// One way of writing a clip: its writer, its audio codec and the time one
// unit of that codec plays (a block, or a frame), which bounds the error.
struct Kind {
    const char* name;
    const char* ffmpegAudio;  // ffmpeg's audio arguments; null: made by GStreamer
    const char* gstAudio;     // GStreamer's audio branch after the tick source
    int rate;
    double unitSeconds;
};

const char* const kBeep = "if(lt(t\\,0.02)\\,0.8*sin(2*PI*1000*t)\\,0)";

// A 2-second clip of 25 frames a second whose audio lasts `audioSeconds`
// (none when 0) and opens with a 20 ms beep.
std::string Clip(const Kind& k, double audioSeconds) {
    char secs[16];
    std::snprintf(secs, sizeof secs, "%.2f", audioSeconds);
    const std::string name = std::string("sync-") + k.name + "-" + secs;
    if (k.ffmpegAudio != nullptr) {
        std::string args = "-f lavfi -i testsrc=d=2:s=32x24:r=25 ";
        if (audioSeconds > 0) {
            args += std::string("-f lavfi -i aevalsrc=") + kBeep + ":d=" + secs +
                    ":s=" + std::to_string(k.rate) + " " + k.ffmpegAudio + " ";
        } else {
            args += "-an ";
        }
        return test::MakeMedia(name, args + "-c:v mjpeg -f avi", "avi");
    }
    // GStreamer: one tick of 20 periods at 1 kHz at the start of the sound,
    // in buffers of 10 ms.
    std::string pipeline =
        "avimux name=m ! filesink location=OUT videotestsrc num-buffers=50 ! "
        "video/x-raw,width=32,height=24,framerate=25/1 ! jpegenc ! m.";
    if (audioSeconds > 0) {
        const int buffers = static_cast<int>(std::lround(audioSeconds * 100));
        pipeline += " audiotestsrc wave=ticks tick-interval=100000000000 sine-periods-per-tick=20 "
                    "freq=1000 volume=0.8 samplesperbuffer=" +
                    std::to_string(k.rate / 100) + " num-buffers=" + std::to_string(buffers) +
                    " ! audio/x-raw,rate=" + std::to_string(k.rate) + ",channels=1 ! " +
                    k.gstAudio + " ! m.";
    }
    return test::MakeGstMedia(name, pipeline, "avi");
}

// Where each beep of the decoded sound begins, in seconds: a sample above a
// quarter of full scale at least 0.3 s after the last one.
std::vector<double> BeepOnsets(const std::string& path, int rate) {
    const test::CommandResult r = test::RunCommand(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a:0", "-ac", "1", "-f",
         "s16le", "-acodec", "pcm_s16le", "-"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<double> onsets;
    const size_t n = r.out.size() / 2;
    const auto gap = static_cast<int64_t>(rate) * 3 / 10;
    int64_t lastLoud = -gap;  // the start counts as after silence
    for (size_t i = 0; i < n; ++i) {
        int16_t v = 0;
        std::memcpy(&v, r.out.data() + 2 * i, 2);
        if (std::abs(static_cast<int>(v)) > 8192) {
            if (static_cast<int64_t>(i) - lastLoud >= gap) {
                onsets.push_back(static_cast<double>(i) / rate);
            }
            lastLoud = static_cast<int64_t>(i);
        }
    }
    return onsets;
}

// Links `audioSeconds.size()` clips of kind `k` and checks that every
// entry's beep lies where its video begins, as the first entry's does,
// within one unit of the codec. Returns the warnings of the run.
std::vector<std::string> ExpectInSync(const Kind& k, const std::vector<double>& audioSeconds) {
    std::vector<std::string> sources;
    for (double s : audioSeconds) {
        sources.push_back(Clip(k, s));
    }
    AviLinkJob job;
    job.sources = sources;
    job.output = test::ScratchDir() + "/" + k.name + "_link.avi";
    OpContext ctx;
    std::vector<std::string> warnings;
    ctx.warn = [&warnings](const std::string& w) { warnings.push_back(w); };
    EXPECT_EQ(RunAviLink(job, ctx).code, 0);
    EXPECT_TRUE(test::DecodesCleanly(job.output));
    // Verification knows the cuts and the silence between entries.
    const verify::VerifyReport checked = verify::VerifyOutputPlan(job.output, verify::JoinPlan(sources));
    EXPECT_TRUE(checked.Ok()) << checked.Json();

    // Where each entry's video begins, from ffprobe's frame counts.
    std::vector<double> videoStart{0};
    for (const std::string& s : sources) {
        const double frames = std::stod(test::ProbeStream(s, "v:0", {"nb_frames"}).at("nb_frames"));
        videoStart.push_back(videoStart.back() + frames / 25.0);
    }
    const std::vector<double> onsets = BeepOnsets(job.output, k.rate);
    std::vector<double> expected;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (audioSeconds[i] > 0) {
            expected.push_back(videoStart[i]);
        }
    }
    EXPECT_EQ(onsets.size(), expected.size());
    if (onsets.size() != expected.size() || onsets.empty()) {
        return warnings;
    }
    // The codec's own delay is the first entry's; every later entry keeps it.
    const double delay = onsets[0] - expected[0];
    for (size_t i = 1; i < onsets.size(); ++i) {
        EXPECT_NEAR(onsets[i] - expected[i], delay, k.unitSeconds + 0.001)
            << "beep " << i << " of " << k.name;
    }
    return warnings;
}

TEST(AviLinkSync, AudioStartsWithItsVideoAtEveryJoin) {
    const Kind kinds[] = {
        {"pcm16", "-c:a pcm_s16le", nullptr, 22050, 1.0 / 22050},
        {"pcm8", "-c:a pcm_u8", nullptr, 22050, 1.0 / 22050},
        {"pcm24", "-c:a pcm_s24le", nullptr, 22050, 1.0 / 22050},
        {"mulaw", "-c:a pcm_mulaw", nullptr, 8000, 1.0 / 8000},
        {"ima", "-c:a adpcm_ima_wav -block_size 256", nullptr, 22050, 505.0 / 22050},
        {"mp3", "-c:a libmp3lame -b:a 64k", nullptr, 44100, 1152.0 / 44100},
        // GStreamer's muxer stores MP3 as bytes (sample size 1).
        {"gst-pcm16", nullptr, "audioconvert ! audio/x-raw,format=S16LE", 22050, 1.0 / 22050},
        {"gst-mp3", nullptr, "lamemp3enc target=bitrate bitrate=64 cbr=true", 44100,
         1152.0 / 44100},
    };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.name);
        // Longer, shorter, none, and so on: every kind of join.
        const double longer = std::string(k.name).find("mp3") != std::string::npos ? 2.1 : 2.04;
        const std::vector<std::string> warnings =
            ExpectInSync(k, {longer, 1.96, 0, longer, 1.96, longer});
        ASSERT_EQ(warnings.size(), 1u);  // the entry without audio, filled
        EXPECT_NE(warnings[0].find("entry 3"), std::string::npos) << warnings[0];
    }
}

// Verification refuses what is not silence between two entries' audio:
// the filled gap of a PCM link overwritten with noise.
TEST(AviLinkSync, VerifyRefusesNoiseBetweenEntries) {
    const auto tone = [](const char* seconds) {
        return test::MakeMedia(std::string("sync-tone-") + seconds,
                               "-f lavfi -i testsrc=d=2:s=32x24:r=25 -f lavfi -i sine=f=440:d=" +
                                   std::string(seconds) + ":r=22050 -c:v mjpeg -c:a pcm_s16le -f avi",
                               "avi");
    };
    const std::vector<std::string> sources = {tone("1.9"), tone("2")};
    AviLinkJob job;
    job.sources = sources;
    job.output = test::ScratchDir() + "/noise.avi";
    OpContext ctx;
    ASSERT_EQ(RunAviLink(job, ctx).code, 0);
    ASSERT_TRUE(verify::VerifyOutputPlan(job.output, verify::JoinPlan(sources)).Ok());
    // The 100 ms of silence after the first entry's 1.9 s of tone: the
    // longest run of zero bytes in the file.
    std::vector<uint8_t> bytes = test::ReadBytes(job.output);
    size_t best = 0, bestAt = 0;
    for (size_t i = 0, run = 0; i < bytes.size(); ++i) {
        run = bytes[i] == 0 ? run + 1 : 0;
        if (run > best) {
            best = run;
            bestAt = i + 1 - run;
        }
    }
    ASSERT_GE(best, 4000u);
    for (size_t i = bestAt + 100; i < bestAt + 200; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37);
    }
    test::WriteBytes(job.output, bytes);
    const verify::VerifyReport r = verify::VerifyOutputPlan(job.output, verify::JoinPlan(sources));
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.difference->expected, "silence") << r.Json();
}

// AC-3 has no silence that can be written: the audio is joined as it is,
// and each entry whose audio then starts early is named, by the check before
// the run and by the run's warnings alike.
TEST(AviLinkSync, AudioWithoutSilenceIsReported) {
    const Kind ac3{"ac3", "-c:a ac3", nullptr, 44100, 1536.0 / 44100};
    const std::vector<std::string> sources = {Clip(ac3, 2), Clip(ac3, 1.7), Clip(ac3, 2),
                                              Clip(ac3, 2)};
    AviLinkJob job;
    job.sources = sources;
    job.output = test::ScratchDir() + "/ac3_link.avi";
    OpContext ctx;
    std::vector<std::string> warnings;
    ctx.warn = [&warnings](const std::string& w) { warnings.push_back(w); };
    ASSERT_EQ(RunAviLink(job, ctx).code, 0);
    const JoinReport report = CheckAviJoin(sources);
    EXPECT_TRUE(report.JoinsCleanly());
    EXPECT_EQ(report.notes, warnings);
    ASSERT_EQ(warnings.size(), 2u);  // entries 3 and 4, each about 0.3 s early
    EXPECT_NE(warnings[0].find("entry 3"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("entry 4"), std::string::npos) << warnings[1];
    EXPECT_NE(report.Text().find(warnings[0]), std::string::npos);
}

// An entry without audio is a note where silence can fill it, and a
// difference the check refuses where none can.
TEST(AviLinkSync, EntryWithoutAudioIsANoteWhereSilenceFillsIt) {
    const Kind pcm{"pcm16", "-c:a pcm_s16le", nullptr, 22050, 0};
    const Kind ac3{"ac3", "-c:a ac3", nullptr, 44100, 0};
    const JoinReport filled = CheckAviJoin({Clip(pcm, 2), Clip(pcm, 0), Clip(pcm, 2)});
    EXPECT_TRUE(filled.JoinsCleanly()) << filled.Text();
    ASSERT_EQ(filled.notes.size(), 1u);
    EXPECT_NE(filled.Json().find("\"notes\": [\"entry 2"), std::string::npos) << filled.Json();
    const JoinReport refused = CheckAviJoin({Clip(ac3, 2), Clip(ac3, 0), Clip(ac3, 2)});
    EXPECT_FALSE(refused.JoinsCleanly());
}

}  // namespace
}  // namespace trelvan
