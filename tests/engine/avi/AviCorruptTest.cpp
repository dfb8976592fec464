#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "AviFile.h"
#include "AviTestFile.h"
#include "ByteOrder.h"
#include "CDecAVIAudio.h"
#include "CDecWAV.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "IoFile.h"

namespace {

using namespace trelvan;
using namespace trelvan::test;

std::shared_ptr<AviFile> OpenBytes(const std::vector<uint8_t>& bytes, int32_t* error) {
    return AviFile::OpenFile(std::make_unique<MemFile>(bytes), error);
}

// Reads every sample of every stream as the readers do; every read of an
// indexed sample must succeed. Returns, per stream, the bytes read.
std::vector<std::vector<uint8_t>> ReadEverything(AviFile& avi) {
    std::vector<std::vector<uint8_t>> out;
    std::vector<uint8_t> buf(1 << 16);
    for (int i = 0; i < avi.StreamCount(); ++i) {
        AviStream& s = avi.Stream(i);
        std::vector<uint8_t> all;
        for (int32_t pos = s.Start(); pos < s.Start() + s.Length();) {
            int64_t bytes = 0;
            int32_t samples = 0;
            EXPECT_EQ(s.Read(pos, kReadConvenient, nullptr, 0, &bytes, &samples), err::kOk);
            if (static_cast<size_t>(bytes) > buf.size()) {
                buf.resize(static_cast<size_t>(bytes));
            }
            const int32_t rc = s.Read(pos, kReadConvenient, buf.data(),
                                      static_cast<int64_t>(buf.size()), &bytes, &samples);
            EXPECT_EQ(rc, err::kOk) << "stream " << i << " sample " << pos;
            if (rc != err::kOk || samples <= 0) {
                break;
            }
            all.insert(all.end(), buf.begin(), buf.begin() + bytes);
            (void)s.IsKeyFrame(pos);
            pos += samples;
        }
        out.push_back(std::move(all));
    }
    return out;
}

std::vector<uint8_t> Fixture() {
    return ReadBytes(MakeMedia("corrupt_base",
                               "-f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i "
                               "sine=sample_rate=8000 -t 2 -c:v mpeg4 -g 10 -c:a pcm_s16le",
                               "avi"));
}

void Put32At(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    bytes::PutLE32(b.data() + at, v);
}

TEST(AviCorruptTest, DamagedIndexesAndSizesStillGiveEverySample) {
    const std::vector<uint8_t> good = Fixture();
    int32_t error = 0;
    auto reference = OpenBytes(good, &error);
    ASSERT_TRUE(reference);
    const auto want = ReadEverything(*reference);
    const size_t movi = FindFourCC(good, "movi");
    const size_t idx1 = FindFourCC(good, "idx1");
    ASSERT_NE(idx1, SIZE_MAX);
    const uint32_t entries = bytes::GetLE32(good.data() + idx1 + 4) / 16;

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        AviIndexSource source;
    };
    const Case cases[] = {
        // The index behind such a list cannot be found: the list is walked.
        {"movi size past the end", [&](auto& b) { Put32At(b, movi - 4, 0xFFFFFFF0u); },
         AviIndexSource::Scan},
        {"RIFF size 0", [&](auto& b) { Put32At(b, 4, 0); }, AviIndexSource::Idx1},
        {"RIFF size past the end", [&](auto& b) { Put32At(b, 4, 0xFFFFFFF0u); },
         AviIndexSource::Idx1},
        {"idx1 offsets from the file start",
         [&](auto& b) {
             for (uint32_t i = 0; i < entries; ++i) {
                 const size_t at = idx1 + 8 + i * 16 + 8;
                 Put32At(b, at, bytes::GetLE32(b.data() + at) + static_cast<uint32_t>(movi));
             }
         },
         AviIndexSource::Idx1},
        {"idx1 entry pointing outside the file",
         [&](auto& b) { Put32At(b, idx1 + 8 + (entries / 2) * 16 + 8, 0x7FFFFF00u); },
         AviIndexSource::Scan},
        {"idx1 entry pointing at nothing", [&](auto& b) { Put32At(b, idx1 + 8 + 8, 0x11); },
         AviIndexSource::Scan},
        {"no idx1", [&](auto& b) { std::memcpy(b.data() + idx1, "JUNK", 4); },
         AviIndexSource::Scan},
        {"idx1 size absurd", [&](auto& b) { Put32At(b, idx1 + 4, 0x7FFFFFF0u); },
         AviIndexSource::Idx1},
        {"stream count absurd", [&](auto& b) { Put32At(b, FindFourCC(b, "avih") + 8 + 24, ~0u); },
         AviIndexSource::Idx1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bad = good;
        c.damage(bad);
        auto avi = OpenBytes(bad, &error);
        ASSERT_TRUE(avi);
        EXPECT_EQ(avi->IndexSource(), c.source);
        EXPECT_EQ(ReadEverything(*avi), want);
    }
}

TEST(AviCorruptTest, TruncatedFilesKeepTheWholeSamples) {
    const std::vector<uint8_t> good = Fixture();
    int32_t error = 0;
    const auto full = ReadEverything(*OpenBytes(good, &error));
    for (int percent = 0; percent <= 100; percent += 3) {
        SCOPED_TRACE(percent);
        std::vector<uint8_t> cut(good.begin(), good.begin() + good.size() * percent / 100);
        auto avi = OpenBytes(cut, &error);
        if (!avi) {
            EXPECT_EQ(error, err::kFileOpen);  // the headers themselves are cut
            continue;
        }
        const auto got = ReadEverything(*avi);
        for (size_t s = 0; s < got.size(); ++s) {
            // What is read is the start of what the whole file holds.
            ASSERT_LE(got[s].size(), full[s].size());
            EXPECT_TRUE(std::equal(got[s].begin(), got[s].end(), full[s].begin()));
            if (avi->Stream(static_cast<int>(s)).SampleSize() != 0) {
                EXPECT_EQ(got[s].size() % avi->Stream(static_cast<int>(s)).SampleSize(), 0u);
            }
        }
    }
}

TEST(AviCorruptTest, BadHeadersGiveTheReadersErrorCodes) {
    const std::vector<uint8_t> good = Fixture();
    const std::vector<uint8_t> wav =
        ReadBytes(MakeMedia("corrupt_wav", "-f lavfi -i sine -t 0.2 -c:a pcm_s16le", "wav"));
    struct Case {
        const char* what;
        const std::vector<uint8_t>* base;
        std::function<void(std::vector<uint8_t>&)> damage;
        int32_t avi_audio, wav;  // CDecAVIAudio and CDecWAV results
    };
    const size_t strh = FindFourCC(good, "strh");
    const Case cases[] = {
        {"form type not AVI", &good, [](auto& b) { std::memcpy(b.data() + 8, "AVIZ", 4); },
         err::kFileOpen, err::kFileOpen},
        {"no header list", &good, [](auto& b) { std::memcpy(b.data() + 20, "hdrX", 4); },
         err::kFileOpen, err::kFileOpen},
        {"rate and scale 0", &good,
         [&](auto& b) {
             Put32At(b, strh + 8 + 20, 0);
             Put32At(b, strh + 8 + 24, 0);
         },
         err::kOk, err::kOk},
        // The damaged stream list keeps what it has; the other stream is whole.
        {"stream header size absurd", &good, [&](auto& b) { Put32At(b, strh + 4, 0x7FFFFFF0u); },
         err::kOk, err::kOk},
        {"format size absurd", &good,
         [&](auto& b) { Put32At(b, FindFourCC(b, "strf") + 4, 0x7FFFFFF0u); }, err::kOk, err::kOk},
        {"wav form not WAVE", &wav, [](auto& b) { std::memcpy(b.data() + 8, "WAVX", 4); },
         err::kFileOpen, err::kFileOpen},
        {"wav format too short", &wav, [](auto& b) { Put32At(b, 16, 10); }, err::kFileOpen,
         err::kFileOpen},
        {"wav data size past the end", &wav,
         [](auto& b) { Put32At(b, FindFourCC(b, "data") + 4, 0xFFFFFF00u); }, err::kNoVideo,
         err::kOk},
        {"wav block align 0", &wav, [](auto& b) { b[12 + 8 + 12] = b[12 + 8 + 13] = 0; },
         err::kNoVideo, err::kOk},
        {"wav without data", &wav,
         [](auto& b) { std::memcpy(b.data() + FindFourCC(b, "data"), "dat4", 4); }, err::kFileOpen,
         err::kFileOpen},
        {"empty file", &wav, [](auto& b) { b.clear(); }, err::kFileOpen, err::kFileOpen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bad = *c.base;
        c.damage(bad);
        const std::string path = ScratchDir() + "/bad.avi";
        WriteBytes(path, bad);
        CDecAVIAudio a;
        CDecWAV w;
        EXPECT_EQ(a.Open(path), c.avi_audio);
        EXPECT_EQ(w.Open(path), c.wav);
        if (c.avi_audio == err::kOk) {
            EXPECT_GE(a.GetFrameRate(), 0.0);
        }
        if (c.wav == err::kOk) {
            std::vector<uint8_t> buf(4096);
            int32_t samples = 0, n = 4096;
            EXPECT_EQ(w.ReadAudio(&samples, buf.data(), &n), err::kOk);
        }
    }
}

// A super index naming one standard index thousands of times would make
// the index far larger than the file: it is not believed, and the movi list
// is walked instead.
TEST(AviCorruptTest, RepeatedSuperIndexEntriesAreNotBelieved) {
    AviTestStream v;
    v.format = TestBitmapFormat(8, 8, 24, "XVID");
    v.superRepeat = 20000;
    std::vector<AviTestChunk> chunks;
    for (int i = 0; i < 40; ++i) {
        chunks.push_back({0, Pattern(10, static_cast<uint8_t>(i)), i % 10 == 0});
    }
    int32_t error = 0;
    auto avi = OpenBytes(BuildTestAvi({v}, chunks, AviTestIndex::OpenDml), &error);
    ASSERT_TRUE(avi);
    EXPECT_EQ(avi->IndexSource(), AviIndexSource::Scan);
    EXPECT_EQ(avi->Stream(0).Length(), 40);
    v.superRepeat = 3;  // a few repeats are merely read as they are
    avi = OpenBytes(BuildTestAvi({v}, chunks, AviTestIndex::OpenDml), &error);
    ASSERT_TRUE(avi);
    EXPECT_EQ(avi->IndexSource(), AviIndexSource::OpenDml);
    EXPECT_EQ(avi->Stream(0).Length(), 120);
}

// Random damage anywhere: every open either fails with the open code or
// gives streams whose every sample reads.
TEST(AviCorruptTest, RandomDamageNeverCrashes) {
    const std::vector<uint8_t> bases[] = {
        Fixture(),
        BuildTestAvi({{"vids", "XVID", 0, 1, 25, 0, 0, 0, TestBitmapFormat(8, 8, 24, "XVID"), ""},
                      {"auds", "", 0, 2, 16000, 0, 2, 0, TestWaveFormat(1, 1, 8000, 2, 16), ""}},
                     {{0, Pattern(30, 1)}, {1, Pattern(16, 2)}, {0, Pattern(9, 3), false}},
                     AviTestIndex::OpenDml),
        ReadBytes(SamplePath("wav/taglib_rf64.wav")),
    };
    std::mt19937 rng(1234);
    for (const auto& base : bases) {
        for (int round = 0; round < 150; ++round) {
            std::vector<uint8_t> bad = base;
            const int flips = 1 + static_cast<int>(rng() % 8);
            for (int i = 0; i < flips; ++i) {
                // Mostly the headers and the index, where damage matters.
                const size_t at =
                    rng() % 2 ? rng() % std::min<size_t>(bad.size(), 512) : rng() % bad.size();
                bad[at] = static_cast<uint8_t>(rng());
            }
            int32_t error = 0;
            auto avi = OpenBytes(bad, &error);
            if (!avi) {
                EXPECT_EQ(error, err::kFileOpen);
                continue;
            }
            ReadEverything(*avi);
        }
    }
}

// Inputs the fuzzer found once: each opens (or is refused) and reads cleanly.
TEST(AviCorruptTest, FuzzerFoundInputsReadCleanly) {
    const std::filesystem::path dir = TRELVAN_AVI_REGRESS_DIR;
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (!e.is_regular_file() || e.path().extension() == ".md") {
            continue;
        }
        SCOPED_TRACE(e.path().string());
        ++files;
        int32_t error = 0;
        auto avi = AviFile::Open(e.path().string(), &error);
        if (avi) {
            ReadEverything(*avi);
        } else {
            EXPECT_EQ(error, err::kFileOpen);
        }
    }
    EXPECT_GT(files, 0);
}

}  // namespace
