// Copies of byte ranges from file to file (IoFile::CopyFrom): inside the
// kernel between disk files, through a buffer otherwise, and the AVI
// writer's chunks copied from a source file.
#include <gtest/gtest.h>

#include <random>

#include "AviFile.h"
#include "AviWriter.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "IoFile.h"

namespace trelvan {
namespace {

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> b(n);
    for (auto& x : b) {
        x = static_cast<uint8_t>(rng());
    }
    return b;
}

// Every way a copy can go: disk to disk (in the kernel), memory to disk and
// disk to memory (the buffered way), into a file that refuses writes, from
// a file whose reads fail, and from a source that ends early.
TEST(FileCopy, RangesArriveIdenticalOrTheCopyFails) {
    const std::string dir = test::ScratchDir();
    const std::vector<uint8_t> bytes = Pattern(700000, 3);
    test::WriteBytes(dir + "/src.bin", bytes);
    struct Case {
        const char* name;
        bool memSource;
        bool memTarget;
        uint64_t writeLimit;
        uint64_t readsAllowed;
        uint64_t from, to, n;
        bool ok;
    };
    const uint64_t none = FaultyFile::kNoLimit;
    const Case cases[] = {
        {"disk to disk", false, false, none, none, 1234, 10, 600000, true},
        {"memory to disk", true, false, none, none, 1234, 10, 600000, true},
        {"disk to memory", false, true, none, none, 99, 0, 650000, true},
        {"nothing", false, false, none, none, 0, 0, 0, true},
        {"target full", false, false, 300000, none, 0, 0, 400000, false},
        {"source reads fail", false, false, none, 1, 0, 0, 400000, false},
        {"source ends early", false, false, none, none, 600000, 0, 200000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<IoFile> src;
        if (c.memSource) {
            src = std::make_unique<MemFile>(bytes);
        } else {
            src = OpenDiskFile(dir + "/src.bin", OpenMode::Read);
        }
        ASSERT_TRUE(src);
        if (c.readsAllowed != none) {
            src = std::make_unique<FaultyFile>(std::move(src), none, c.readsAllowed);
        }
        std::unique_ptr<IoFile> out;
        auto* mem = new MemFile();
        if (c.memTarget) {
            out.reset(mem);
        } else {
            delete mem;
            mem = nullptr;
            out = OpenDiskFile(dir + "/out.bin", OpenMode::CreateTruncate);
        }
        ASSERT_TRUE(out);
        if (c.writeLimit != none) {
            out = std::make_unique<FaultyFile>(std::move(out), c.writeLimit);
        }
        ASSERT_TRUE(out->WriteAt(0, "head", 4) || c.to == 0);
        EXPECT_EQ(out->CopyFrom(*src, c.from, c.to, c.n), c.ok);
        if (!c.ok) {
            continue;
        }
        std::vector<uint8_t> got(static_cast<size_t>(c.n));
        ASSERT_EQ(out->ReadAt(c.to, got.data(), got.size()), static_cast<int64_t>(c.n));
        EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin() + c.from));
        // The source is read only.
        EXPECT_EQ(test::ReadBytes(dir + "/src.bin"), bytes);
    }
}

// The AVI writer's copied chunks land between buffered ones in order, with
// their key flags, and a refused copy is a write error that still leaves a
// readable file of the chunks before it.
TEST(FileCopy, AviWriterCopiesChunksInOrder) {
    const std::string dir = test::ScratchDir();
    const std::vector<uint8_t> stored = Pattern(300001, 5);
    test::WriteBytes(dir + "/src.bin", stored);
    AviWriterStreamInfo v;
    v.fccType = bytes::FourCC("vids");
    v.fccHandler = bytes::FourCC("MJPG");
    v.dwScale = 1;
    v.dwRate = 25;
    std::vector<uint8_t> format(40, 0);
    bytes::PutLE32(&format[0], 40);
    struct Case {
        const char* name;
        uint64_t writeLimit;
        int64_t chunks;  // whole chunks in the file afterwards (4: every write landed)
    };
    const Case cases[] = {
        {"all land", FaultyFile::kNoLimit, 4},
        {"disk full in the second copy", 150000 + 300001 + 40000, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto src = OpenDiskFile(dir + "/src.bin", OpenMode::Read);
        ASSERT_TRUE(src);
        auto out = OpenDiskFile(dir + "/out.avi", OpenMode::CreateTruncate);
        ASSERT_TRUE(out);
        AviWriter w;
        ASSERT_EQ(w.Create(std::make_unique<FaultyFile>(std::move(out), c.writeLimit)), 0);
        int vi = -1;
        ASSERT_EQ(w.AddStream(v, format, &vi), 0);
        const std::vector<uint8_t> small = Pattern(1001, 9);
        int32_t samples = 0;
        EXPECT_EQ(w.WriteChunk(vi, small.data(), 1001, false, &samples), 0);
        EXPECT_EQ(samples, 1);
        EXPECT_EQ(w.CopyChunk(vi, *src, 0, 300001, true, &samples), 0);
        EXPECT_EQ(samples, 1);
        EXPECT_EQ(w.WriteChunk(vi, small.data(), 77, false), 0);
        const int32_t copied = w.CopyChunk(vi, *src, 1, 300000, true);
        EXPECT_EQ(copied, c.chunks == 4 ? 0 : err::kStreamWrite);
        const int32_t closed = w.Close();
        EXPECT_EQ(closed, c.chunks == 4 ? 0 : err::kStreamWrite);

        int32_t error = 0;
        auto file = AviFile::Open(dir + "/out.avi", &error);
        ASSERT_TRUE(file) << error;
        AviStream& s = file->Stream(0);
        ASSERT_EQ(s.ChunkCount(), c.chunks);
        const std::vector<std::vector<uint8_t>> want = {
            small, stored, std::vector<uint8_t>(small.begin(), small.begin() + 77),
            std::vector<uint8_t>(stored.begin() + 1, stored.end())};
        for (int64_t k = 0; k < s.ChunkCount(); ++k) {
            std::vector<uint8_t> got(s.ChunkSize(k));
            ASSERT_EQ(s.ReadChunk(k, got.data(), static_cast<int64_t>(got.size())), 0);
            EXPECT_EQ(got, want[static_cast<size_t>(k)]) << k;
            EXPECT_EQ(s.ChunkIsKey(k), k % 2 == 1) << k;
        }
    }
}

}  // namespace
}  // namespace trelvan
