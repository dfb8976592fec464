// The command line's error lines: the file, the text and the code on one
// line, in the language of the messages; and which file of a run they name.
#include <gtest/gtest.h>

#include "ByteOrder.h"
#include "ErrorLine.h"
#include "Fixtures.h"
#include "Language.h"

namespace trelvan {
namespace {

struct LineCase {
    int32_t code;
    const char* file;
    const char* detail;
    LanguageChoice language;
    const char* expected;
};

TEST(CliErrorLine, OneLineWithTheFileAndTheCode) {
    const LineCase cases[] = {
        {1002, "clip2.avi", "", LanguageChoice::English,
         "trelvan-cli: clip2.avi: the file does not open (error 1002)"},
        {1002, "clip2.avi", "", LanguageChoice::Japanese,
         "trelvan-cli: clip2.avi: ファイルが開きません (エラー 1002)"},
        {6006, "out.avi", "", LanguageChoice::English,
         "trelvan-cli: out.avi: the output file cannot be made (error 6006)"},
        {501, "", "", LanguageChoice::English, "trelvan-cli: not enough memory (error 501)"},
        {8201, "a.wmv", "ASF reader result 0x80004005", LanguageChoice::English,
         "trelvan-cli: a.wmv: the file does not open as WMV/ASF: ASF reader result 0x80004005 (error 8201)"},
        // A code no part of the program raises: the box's text, its lines
        // and closing blanks folded into one line.
        {915, "x.wav", "", LanguageChoice::English,
         "trelvan-cli: x.wav: The file format is not correspondence. Please put the DirectShow "
         "filter etc. Is this file Audio file? (error 915)"},
        {7, "", "", LanguageChoice::Japanese, "trelvan-cli: その他のエラー (エラー 7)"},
        {0, "a.avi", "", LanguageChoice::English, ""},
        {-2, "a.avi", "", LanguageChoice::English, ""},
    };
    for (const LineCase& c : cases) {
        SetLanguageOverride(c.language);
        EXPECT_EQ(cli::ErrorLine(c.code, c.file, c.detail), c.expected) << c.code;
    }
    SetLanguageOverride(LanguageChoice::System);
}

// A WAV file of a few PCM blocks, written byte by byte.
std::string TinyWav(const std::string& path) {
    std::vector<uint8_t> b(44 + 16);
    auto put = [&b](size_t at, const char* s) { std::copy(s, s + 4, b.begin() + static_cast<std::ptrdiff_t>(at)); };
    put(0, "RIFF");
    bytes::PutLE32(b.data() + 4, static_cast<uint32_t>(b.size() - 8));
    put(8, "WAVE");
    put(12, "fmt ");
    bytes::PutLE32(b.data() + 16, 16);
    bytes::PutLE16(b.data() + 20, 1);
    bytes::PutLE16(b.data() + 22, 2);
    bytes::PutLE32(b.data() + 24, 8000);
    bytes::PutLE32(b.data() + 28, 32000);
    bytes::PutLE16(b.data() + 32, 4);
    bytes::PutLE16(b.data() + 34, 16);
    put(36, "data");
    bytes::PutLE32(b.data() + 40, 16);
    test::WriteBytes(path, b);
    return path;
}

TEST(CliErrorLine, TheFileOfARun) {
    const std::string dir = test::ScratchDir();
    const std::string wav = TinyWav(dir + "/tone.wav");
    const std::string missing = dir + "/clip2.avi";
    struct Case {
        int32_t code;
        cli::RunFiles files;
        std::string expected;
    };
    const Case cases[] = {
        {6006, {{wav, missing}, "out.wav"}, "out.wav"},       // writing: the output
        {1002, {{wav, missing}, "out.wav"}, missing},         // the source that does not open
        {1002, {{missing, wav}, "out.wav", 1}, wav},          // the one the run named
        {8201, {{wav, missing}, "out.wmv"}, wav},             // no ASF file at all
        {1201, {{wav}, "out.avi"}, wav},                      // the only source
        {501, {{wav, missing}, "out.wav"}, ""},               // cannot be told
        {1006, {{wav, missing}, "out.avi", cli::UniteFailedSource(wav, missing)}, wav},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cli::FileOfError(c.code, c.files), c.expected) << c.code;
    }
}

}  // namespace
}  // namespace trelvan
