#include <gtest/gtest.h>

#include <numeric>

#include "IoFile.h"
#include "ReadAheadFile.h"

namespace {

using namespace trelvan;

// Counts the reads that reach the file below.
class CountingFile : public MemFile {
  public:
    using MemFile::MemFile;
    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        ++reads;
        return MemFile::ReadAt(offset, buf, n);
    }
    int reads = 0;
};

TEST(ReadAheadFileTest, SmallReadsComeFromTheWindowAndMatchTheFile) {
    std::vector<uint8_t> bytes(100000);
    std::iota(bytes.begin(), bytes.end(), 0);
    auto inner = std::make_unique<CountingFile>(bytes);
    CountingFile* counted = inner.get();
    ReadAheadFile f(std::move(inner), 8192);
    struct Case {
        uint64_t offset;
        size_t n;
        int64_t expected;  // bytes returned
    } cases[] = {
        {0, 100, 100},    {100, 3000, 3000}, {5000, 4000, 4000},  // within, then across the window
        {99990, 100, 10}, {100000, 10, 0},   {200000, 10, 0},     // the end of the file
        {10, 5000, 5000},                                         // half a window: straight
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> got(c.n, 0xEE);
        ASSERT_EQ(f.ReadAt(c.offset, got.data(), c.n), c.expected) << c.offset;
        for (int64_t i = 0; i < c.expected; ++i) {
            ASSERT_EQ(got[static_cast<size_t>(i)], bytes[c.offset + static_cast<uint64_t>(i)]);
        }
    }
    // 1000 small sequential reads of 80 bytes cost about 80000 / 8192 file reads.
    const int before = counted->reads;
    std::vector<uint8_t> b(80);
    for (uint64_t off = 0; off < 80000; off += 80) {
        ASSERT_EQ(f.ReadAt(off, b.data(), b.size()), 80);
        ASSERT_EQ(b[0], static_cast<uint8_t>(off));
    }
    EXPECT_LE(counted->reads - before, 11);

    // Two regions read side by side (video here, audio there) keep a window
    // each.
    const int alternating = counted->reads;
    for (uint64_t off = 0; off < 6000; off += 100) {
        ASSERT_EQ(f.ReadAt(off, b.data(), b.size()), 80);
        ASSERT_EQ(b[5], static_cast<uint8_t>(off + 5));
        ASSERT_EQ(f.ReadAt(50000 + off, b.data(), b.size()), 80);
        ASSERT_EQ(b[5], static_cast<uint8_t>(50000 + off + 5));
    }
    EXPECT_LE(counted->reads - alternating, 2);
}

TEST(ReadAheadFileTest, WritesAreSeenByLaterReads) {
    ReadAheadFile f(std::make_unique<MemFile>(std::vector<uint8_t>(1000, 1)), 4096);
    uint8_t b[4];
    ASSERT_EQ(f.ReadAt(0, b, 4), 4);
    ASSERT_TRUE(f.WriteAt(2, "\x07\x07", 2));
    ASSERT_EQ(f.ReadAt(0, b, 4), 4);
    EXPECT_EQ(b[2], 7);
    ASSERT_TRUE(f.Truncate(3));
    EXPECT_EQ(f.ReadAt(0, b, 4), 3);
    // Failing reads below stay failures.
    ReadAheadFile bad(std::make_unique<FaultyFile>(
        std::make_unique<MemFile>(std::vector<uint8_t>(10)), FaultyFile::kNoLimit, 0));
    EXPECT_EQ(bad.ReadAt(0, b, 4), -1);
}

}  // namespace
