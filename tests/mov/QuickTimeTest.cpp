// The binding: the table of result names, the counted start of the layer,
// and the editing steps the link uses, through CQuickTime.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "CQuickTime.h"
#include "Fixtures.h"
#include "MovFixtures.h"
#include "MovieReader.h"
#include "MovieToolbox.h"
#include "QtErrorNames.h"

namespace trelvan::mov {
namespace {

struct NameCase {
    int32_t code;
    const char* name;
};

// The first and last code of every run, a few inside, and the codes just
// outside each run.
constexpr NameCase kNames[] = {
    {-2000, "couldNotResolveDataRef"},
    {-2010, "invalidMovie"},
    {-2048, "noMovieFound"},
    {-2087, "tuneParseOSErr"},
    {-2088, kUnknownErrorName},
    {-2089, "noExportProcAvailableErr"},
    {-2093, "qtmlDllLoadErr"},
    {-2095, "qtmlUninitialized"},
    {-2097, "unsupportedProcessorErr"},
    {-2098, kUnknownErrorName},
    {-2100, kUnknownErrorName},
    {-2101, "cannotFindAtomErr"},
    {-2125, "fileOffsetTooBigErr"},
    {-2127, "qtNetworkAlreadyAllocatedErr"},
    {-2128, kUnknownErrorName},
    {-2129, "urlDataHHTTPProtocolErr"},
    {-2149, "notEnoughDataErr"},
    {-2150, kUnknownErrorName},
    {-2157, "qtActionNotHandledErr"},
    {-2158, kUnknownErrorName},
    {-2200, kUnknownErrorName},
    {-2201, "digiUnimpErr"},
    {-2202, "qtParamErr"},
    {-2209, "badCallOrderErr"},
    {-2210, kUnknownErrorName},
    {-8959, kUnknownErrorName},
    {-8960, "codecErr"},
    {-8992, "codecOffscreenFailedPleaseRetryErr"},
    {-8993, kUnknownErrorName},
    {-30539, kUnknownErrorName},
    {-30540, "notAQTVRMovieErr"},
    {-30555, "qtvrUninitialized"},
    {-30556, kUnknownErrorName},
    {0, kUnknownErrorName},
    {-1, kUnknownErrorName},
    {2000, kUnknownErrorName},
    {INT32_MIN, kUnknownErrorName},
};

class QtErrorNameTable : public ::testing::TestWithParam<NameCase> {};

TEST_P(QtErrorNameTable, NamesTheCode) {
    CQuickTime qt;
    std::string text;
    EXPECT_EQ(qt.GetErrorName(text, GetParam().code), GetParam().name);
    EXPECT_EQ(text, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Codes, QtErrorNameTable, ::testing::ValuesIn(kNames));

TEST(QtErrorNames, HoldsTwoHundredAndFourCodes) {
    EXPECT_EQ(QtErrorNameCount(), 204);
    int named = 0;
    for (int32_t code = -31000; code <= 0; ++code) {
        named += QtErrorName(code) != kUnknownErrorName ? 1 : 0;
    }
    EXPECT_EQ(named, 204);
}

TEST(QtErrorNames, NotAllowedToSaveCarriesItsExplanation) {
    EXPECT_EQ(QtErrorName(-2126),
              "notAllowedToSaveMovieErr\n"
              "残念ながらこのムービーは編集・保存することが許可されていません。");
}

TEST(CQuickTimeLife, StartsOnceStopsWithTheLast) {
    const int before = toolbox::StartCount();
    {
        CQuickTime first;
        EXPECT_EQ(toolbox::StartCount(), before + 1);
        {
            CQuickTime second;
            EXPECT_EQ(toolbox::StartCount(), before + 2);
        }
        EXPECT_EQ(toolbox::StartCount(), before + 1);
    }
    EXPECT_EQ(toolbox::StartCount(), before);
}

TEST(CQuickTimeStrings, PascalAndBack) {
    CQuickTime qt;
    char text[256] = "movie.mov";
    qt.ToPascalString(text);
    EXPECT_EQ(static_cast<uint8_t>(text[0]), 9);
    EXPECT_EQ(std::memcmp(text + 1, "movie.mov", 9), 0);
    qt.ToCString(text);
    EXPECT_STREQ(text, "movie.mov");
    // 300 characters keep 255.
    std::string longText(300, 'x');
    char big[301];
    std::memcpy(big, longText.c_str(), 301);
    qt.ToPascalString(big);
    EXPECT_EQ(static_cast<uint8_t>(big[0]), 255);
}

TEST(CQuickTimeOpen, EmptyPathNonMovieAndMissingFileGiveZero) {
    CQuickTime qt;
    EXPECT_EQ(qt.OpenMovie(""), 0);
    EXPECT_EQ(qt.OpenMovie("/nonexistent/x.mov"), 0);
    EXPECT_EQ(qt.Name(), "");
    const std::string wav = trelvan::test::SamplePath("wav/taglib_alaw.wav");
    EXPECT_EQ(qt.OpenMovie(wav), 0);
    EXPECT_FALSE(qt.IsOpen());
    // Editing steps do nothing without a movie.
    toolbox::SetMoviesError(kNoErr);
    qt.SelectAll();
    qt.Paste();
    EXPECT_EQ(toolbox::GetMoviesError(), kNoErr);
}

// SelectAll and CopySelection put the whole movie on the scrap; Paste after
// GoToEnd on another movie appends it; undo takes it back; a path of more
// than 254 characters works.
TEST(CQuickTimeEdit, CopyPasteAppendsAndUndoTakesBack) {
    std::string dir = trelvan::test::ScratchDir() + "/";
    dir += std::string(150, 'd');
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    const std::string src =
        trelvan::test::CopyFile(test::Make(test::kH264Aac), dir);
    const std::string longName = dir + "/" + std::string(120, 'n') + ".mov";
    ASSERT_EQ(std::rename(src.c_str(), longName.c_str()), 0);
    ASSERT_GT(longName.size(), 254u);

    CQuickTime main, added;
    ASSERT_EQ(main.OpenMovie(longName), 1);
    EXPECT_EQ(main.Name(), longName);
    ASSERT_EQ(added.OpenMovie(longName), 1);
    const uint64_t length = main.GetMovie()->GetMovie().Duration();
    const size_t samples = main.GetMovie()->GetMovie().tracks[0].samples.size();
    added.SelectAll();
    added.CopySelection();
    ASSERT_EQ(toolbox::GetMoviesError(), kNoErr);
    main.GoToEnd();
    main.Paste();
    ASSERT_EQ(toolbox::GetMoviesError(), kNoErr);
    EXPECT_EQ(main.GetMovie()->GetMovie().Duration(), 2 * length);
    EXPECT_EQ(main.GetMovie()->GetMovie().tracks[0].samples.size(), 2 * samples);
    main.UndoEdit();
    EXPECT_EQ(main.GetMovie()->GetMovie().Duration(), length);
    EXPECT_EQ(main.GetMovie()->GetMovie().tracks[0].samples.size(), samples);

    // Saved under a long name, it reads back.
    const std::string out = dir + "/" + std::string(120, 'o') + ".mov";
    main.SaveMovieAs(out);
    ASSERT_EQ(toolbox::GetMoviesError(), kNoErr);
    Movie back;
    EXPECT_EQ(ReadMovieFile(out, back, DiskFileOpener()), kNoErr);
    // Saving over one of its own sources is refused and the source stays.
    const auto before = trelvan::test::ReadBytes(longName);
    main.SaveMovieAs(longName);
    EXPECT_NE(toolbox::GetMoviesError(), kNoErr);
    EXPECT_EQ(trelvan::test::ReadBytes(longName), before);
}

// Cut takes the selection out and puts it on the scrap; clear removes it.
TEST(CQuickTimeEdit, CutAndClearShortenTheMovie) {
    CQuickTime qt;
    ASSERT_EQ(qt.OpenMovie(test::Make(test::kMjpegRaw)), 1);
    MovieEditor& m = *qt.GetMovie();
    const uint64_t length = m.GetMovie().Duration();
    m.SetSelection(0, length / 2);
    qt.CutSelection();
    ASSERT_EQ(toolbox::GetMoviesError(), kNoErr);
    EXPECT_EQ(m.GetMovie().Duration(), length - length / 2);
    EXPECT_EQ(toolbox::ScrapMovie()->Duration(), length / 2);
    qt.UndoEdit();
    EXPECT_EQ(m.GetMovie().Duration(), length);
    m.SetSelection(length / 4, length / 4);
    qt.ClearSelection();
    EXPECT_EQ(m.GetMovie().Duration(), length - length / 4);
}

}  // namespace
}  // namespace trelvan::mov
