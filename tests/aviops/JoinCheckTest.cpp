// The join check of the AVI and audio links: pairs that differ in each field
// it compares are reported with the entry, stream, field and both values;
// pairs that agree are not, and their links run as before.
#include <gtest/gtest.h>

#include "AudioLink.h"
#include "AviLink.h"
#include "Fixtures.h"
#include "JoinCheckAvi.h"
#include "Language.h"
#include "Process.h"

namespace trelvan {
namespace {

// One second of 64x48 MJPEG at 10 fps with 8 kHz 16-bit mono PCM, unless
// the recipe's parts say otherwise.
std::string Avi(const std::string& name, const std::string& video = "s=64x48:r=10",
                const std::string& codec = "-c:v mjpeg",
                const std::string& audio = "-ar 8000 -c:a pcm_s16le") {
    return test::MakeMedia("join-" + name,
                           "-f lavfi -i testsrc=d=1:" + video + " -f lavfi -i sine=d=1 " + codec +
                               " " + audio,
                           "avi");
}

std::string Wav(const std::string& name, const std::string& audio) {
    return test::MakeMedia("join-" + name, "-f lavfi -i sine=d=1 " + audio, "wav");
}

struct FieldCase {
    const char* name;
    std::string other;  // a file differing from the reference in one field
    const char* stream;
    const char* field;
    const char* first;
    const char* value;
};

void ExpectOnlyDifference(const JoinReport& r, const FieldCase& c) {
    ASSERT_FALSE(r.JoinsCleanly());
    ASSERT_FALSE(r.differences.empty());
    const JoinDifference& d = r.differences.front();
    EXPECT_EQ(d.entry, 1);
    EXPECT_EQ(d.stream, c.stream);
    EXPECT_EQ(d.field, c.field);
    EXPECT_EQ(d.first, c.first);
    EXPECT_EQ(d.value, c.value);
    // The question names the difference.
    EXPECT_NE(r.Question().find(c.field), std::string::npos) << r.Question();
}

TEST(JoinCheck, EachComparedFieldIsReported) {
    const std::string ref = Avi("ref");
    const FieldCase avi[] = {
        {"frame rate", Avi("r12", "s=64x48:r=12"), "video", "frame rate", "10/1", "12/1"},
        {"frame size", Avi("s80", "s=80x48:r=10"), "video", "frame size", "64x48", "80x48"},
        {"compression", Avi("mpeg4", "s=64x48:r=10", "-c:v mpeg4"), "video", "handler", "'MJPG'",
         "'FMP4'"},
        {"channels", Avi("stereo", "s=64x48:r=10", "-c:v mjpeg", "-ar 8000 -ac 2 -c:a pcm_s16le"),
         "audio", "channels", "1", "2"},
        {"sample rate", Avi("11k", "s=64x48:r=10", "-c:v mjpeg", "-ar 11025 -c:a pcm_s16le"),
         "audio", "sample rate", "8000", "11025"},
        {"bits", Avi("u8", "s=64x48:r=10", "-c:v mjpeg", "-ar 8000 -c:a pcm_u8"), "audio",
         "bits per sample", "16", "8"},
        {"format tag", Avi("alaw", "s=64x48:r=10", "-c:v mjpeg", "-ar 8000 -c:a pcm_alaw"),
         "audio", "format tag", "0x0001", "0x0006"},
    };
    for (const FieldCase& c : avi) {
        SCOPED_TRACE(c.name);
        ExpectOnlyDifference(CheckAviJoin({ref, c.other}), c);
    }
    EXPECT_TRUE(CheckAviJoin({ref, Avi("ref-again", "s=64x48:r=10:n=5"), ref}).JoinsCleanly());
    // An entry without audio is filled with silence (PCM has one): a note,
    // not a difference.
    const JoinReport mute = CheckAviJoin({ref, Avi("mute", "s=64x48:r=10", "-c:v mjpeg", "-an")});
    EXPECT_TRUE(mute.JoinsCleanly());
    EXPECT_EQ(mute.notes.size(), 1u);

    const std::string wav = Wav("wav16", "-ar 8000 -c:a pcm_s16le");
    const FieldCase audio[] = {
        {"wav rate", Wav("wav22", "-ar 22050 -c:a pcm_s16le"), "audio", "sample rate", "8000",
         "22050"},
        {"adpcm", Wav("wavima", "-ar 8000 -c:a adpcm_ima_wav"), "audio", "format tag", "0x0001",
         "0x0011"},
    };
    for (const FieldCase& c : audio) {
        SCOPED_TRACE(c.name);
        ExpectOnlyDifference(CheckAudioJoin({wav, c.other}), c);
    }
    // An AVI file's audio joins a WAV file of the same format.
    EXPECT_TRUE(CheckAudioJoin({wav, ref}).JoinsCleanly());
    const JoinReport missing = CheckAudioJoin({wav, test::ScratchDir() + "/none.wav"});
    EXPECT_EQ(missing.unreadable, 1);
    EXPECT_NE(missing.code, 0);
}

// The links ask before anything is deleted or written: Cancel leaves an
// existing output as it was, OK joins; a list that agrees is not asked about.
TEST(JoinCheck, LinksAskBeforeTheyDeleteAnything) {
    const std::string dir = test::ScratchDir();
    const std::string ref = Avi("ref");
    const std::string other = Avi("r12", "s=64x48:r=12");
    for (const bool avi : {true, false}) {
        for (const bool ok : {false, true}) {
            SCOPED_TRACE(std::string(avi ? "avi" : "audio") + (ok ? " OK" : " Cancel"));
            const std::string out = dir + (avi ? "/joined.avi" : "/joined.wav");
            test::WriteBytes(out, {1, 2, 3});
            int asked = 0;
            OpContext ctx;
            ctx.ask = [&](const std::string&, const std::string& text) {
                ++asked;
                return ok;
            };
            bool cancelled = false;
            int32_t code = 0;
            if (avi) {
                AviLinkJob job{{ref, other}, out};
                job.checkJoin = true;
                const AviLinkResult r = RunAviLink(job, ctx);
                code = r.code;
                cancelled = r.cancelled;
            } else {
                AudioLinkJob job;
                job.sources = {Wav("wav16", "-ar 8000 -c:a pcm_s16le"),
                               Wav("wav22", "-ar 22050 -c:a pcm_s16le")};
                job.output = out;
                job.checkJoin = true;
                const AudioLinkResult r = RunAudioLink(job, ctx);
                code = r.code;
                cancelled = r.cancelled;
            }
            EXPECT_EQ(code, 0);
            EXPECT_EQ(asked, 1);
            EXPECT_EQ(cancelled, !ok);
            EXPECT_EQ(test::ReadBytes(out).size() == 3, !ok) << "Cancel must leave the old output";
        }
    }
    int asked = 0;
    OpContext ctx;
    ctx.ask = [&](const std::string&, const std::string&) { return ++asked, false; };
    AviLinkJob job{{ref, ref}, dir + "/same.avi"};
    job.checkJoin = true;
    EXPECT_EQ(RunAviLink(job, ctx).code, 0);
    EXPECT_EQ(asked, 0);
}

// trelvan-cli check: the report as JSON (exit 0 clean, 1 not); the link
// commands refuse lists that differ unless --force.
TEST(JoinCheck, CommandLineReportsAndRefuses) {
    const std::string cli = test::BuiltProgram("trelvan-cli");
    const std::string dir = test::ScratchDir();
    const std::string ref = Avi("ref");
    const std::string other = Avi("r12", "s=64x48:r=12");
    auto r = test::RunCommand({cli, "check", ref, other});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("\"joins_cleanly\": false"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"field\": \"frame rate\", \"first\": \"10/1\", \"value\": \"12/1\""),
              std::string::npos)
        << r.out;
    r = test::RunCommand({cli, "check", ref, ref, "--human"});
    EXPECT_EQ(r.exit_code, 0) << r.out;

    r = test::RunCommand({cli, "avi-link", ref, other, "-o", dir + "/refused.avi", "--quiet"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("frame rate"), std::string::npos) << r.err;
    EXPECT_TRUE(test::ReadBytes(dir + "/refused.avi").empty());
    r = test::RunCommand({cli, "avi-link", ref, other, "-o", dir + "/forced.avi", "--quiet",
                          "--force"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    r = test::RunCommand({cli, "audio-link", Wav("wav16", "-ar 8000 -c:a pcm_s16le"),
                          Wav("wav22", "-ar 22050 -c:a pcm_s16le"), "-o", dir + "/a.wav"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("sample rate"), std::string::npos) << r.err;
}

// Japanese reports and questions give the stream, the field and the word
// values in Japanese; numbers and codes stay as they are, and the JSON keeps
// the English terms.
TEST(JoinCheck, JapaneseReportsUseJapaneseTerms) {
    JoinReport r;
    r.sources = {"/m/a.wmv", "/m/b.wmv"};
    r.Compare(1, "stream 2 (audio)", "channels", "1", "2");
    r.Compare(1, "video", "stream", "present", "missing");
    SetLanguageOverride(LanguageChoice::Japanese);
    const std::string question = r.Question();
    const std::string text = r.Text();
    SetLanguageOverride(LanguageChoice::English);
    EXPECT_NE(question.find("2番目 (b.wmv) のストリーム2(音声)のチャンネル数が 2 です(最初のファイルは 1)"),
              std::string::npos)
        << question;
    EXPECT_NE(text.find("映像のストリームが なし です(最初のファイルは あり)"), std::string::npos)
        << text;
    EXPECT_NE(r.Text().find("stream 2 (audio), channels: 2 where the first has 1"),
              std::string::npos);
    EXPECT_NE(r.Json().find("\"field\": \"channels\""), std::string::npos);
    SetLanguageOverride(LanguageChoice::System);
}

}  // namespace
}  // namespace trelvan
