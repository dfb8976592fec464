#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <numeric>

#include "BufferedWriter.h"
#include "ByteOrder.h"
#include "Fixtures.h"
#include "IoFile.h"
#include "StagedOutput.h"

namespace {

using namespace trelvan;

TEST(FileSeamTest, ByteOrderRoundTrips) {
    uint8_t b[8];
    bytes::PutLE32(b, 0x12345678);
    EXPECT_EQ(b[0], 0x78);
    EXPECT_EQ(bytes::GetLE32(b), 0x12345678u);
    bytes::PutBE32(b, 0x12345678);
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(bytes::GetBE32(b), 0x12345678u);
    bytes::PutLE64(b, 0x0102030405060708ull);
    EXPECT_EQ(bytes::GetLE64(b), 0x0102030405060708ull);
    bytes::PutBE64(b, 0x0102030405060708ull);
    EXPECT_EQ(b[7], 0x08);
    EXPECT_EQ(bytes::GetBE64(b), 0x0102030405060708ull);
    bytes::PutLE24(b, 0xABCDEF);
    EXPECT_EQ(bytes::GetLE24(b), 0xABCDEFu);
    static_assert(bytes::FourCC("RIFF") == 0x46464952u);
    static_assert(bytes::FourCC("01wb") == 0x62773130u);
}

TEST(FileSeamTest, BufferedWriterPatchesInsideAndBeforeTheBuffer) {
    MemFile f;
    BufferedWriter w(f, 0, 4096);
    std::vector<uint8_t> big(10000);
    std::iota(big.begin(), big.end(), 0);
    ASSERT_TRUE(w.Write("HEAD", 4));
    ASSERT_TRUE(w.Write(big.data(), big.size()));  // bypasses the buffer
    ASSERT_TRUE(w.Write("tail", 4));               // stays in the buffer
    ASSERT_TRUE(w.Patch(0, "head", 4));            // already on "disk"
    ASSERT_TRUE(w.Patch(10004, "TAIL", 4));        // still buffered
    EXPECT_FALSE(w.Patch(10006, "xxxx", 4));       // past what was written
    ASSERT_TRUE(w.Flush());
    ASSERT_EQ(f.Bytes().size(), 10008u);
    EXPECT_EQ(std::string(f.Bytes().begin(), f.Bytes().begin() + 4), "head");
    EXPECT_EQ(std::string(f.Bytes().end() - 4, f.Bytes().end()), "TAIL");
    EXPECT_EQ(f.Bytes()[4 + 300], static_cast<uint8_t>(300));
    EXPECT_EQ(w.Position(), 10008u);
}

TEST(FileSeamTest, FailedWriteIsStickyAndLandsNothingPastTheLimit) {
    auto inner = std::make_unique<MemFile>();
    MemFile* mem = inner.get();
    FaultyFile f(std::move(inner), 6000);
    BufferedWriter w(f, 0, 4096);
    std::vector<uint8_t> chunk(1000, 7);
    bool ok = true;
    for (int i = 0; i < 10 && ok; ++i) {
        ok = w.Write(chunk.data(), chunk.size());
    }
    ok = ok && w.Flush();
    EXPECT_FALSE(ok);
    EXPECT_FALSE(w.Ok());
    EXPECT_FALSE(w.Write("x", 1));
    EXPECT_LE(mem->Bytes().size(), 6000u);
}

TEST(FileSeamTest, FaultyFileFailsReadsAfterTheAllowance) {
    FaultyFile f(std::make_unique<MemFile>(std::vector<uint8_t>(100, 1)), FaultyFile::kNoLimit, 2);
    uint8_t b[10];
    EXPECT_EQ(f.ReadAt(0, b, 10), 10);
    EXPECT_EQ(f.ReadAt(95, b, 10), 5);
    EXPECT_EQ(f.ReadAt(0, b, 10), -1);
}

TEST(FileSeamTest, DiskFilesRefuseFoldersAndMissingFiles) {
    const std::string dir = test::ScratchDir();
    int err = 0;
    EXPECT_EQ(OpenDiskFile(dir, OpenMode::Read, &err), nullptr);
    EXPECT_EQ(OpenDiskFile(dir + "/missing", OpenMode::Read, &err), nullptr);
    EXPECT_EQ(OpenDiskFile(dir + "/no/such/folder/x", OpenMode::CreateTruncate, &err), nullptr);

    auto f = OpenDiskFile(dir + "/a.bin", OpenMode::CreateTruncate);
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(f->WriteAt(5, "hello", 5));
    EXPECT_EQ(f->Size(), 10);
    char buf[16] = {};
    EXPECT_EQ(f->ReadAt(5, buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "hello");
    EXPECT_TRUE(f->Close());
    auto r = OpenDiskFile(dir + "/a.bin", OpenMode::Read);
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(r->WriteAt(0, "x", 1));  // read-only
}

}  // namespace

// The output of a run is written beside it and replaces an old file only
// when kept; the temporary name keeps the extension (writers choose the
// file type by it) and the file gets a new file's permissions.
TEST(FileSeamTest, StagedOutputReplacesTheOldFileOnlyWhenKept) {
    const std::string dir = test::ScratchDir();
    const std::string out = dir + "/clip_link.avi";
    test::WriteBytes(out, {'o', 'l', 'd'});
    for (const bool keep : {false, true}) {
        StagedOutput staged(out);
        ASSERT_TRUE(staged.Ready());
        EXPECT_EQ(std::filesystem::path(staged.Path()).extension(), ".avi");
        EXPECT_EQ(std::filesystem::path(staged.Path()).parent_path(), dir);
        EXPECT_EQ(::access(staged.Path().c_str(), R_OK | W_OK), 0);
        test::WriteBytes(staged.Path(), {'n', 'e', 'w'});
        EXPECT_TRUE(staged.Finish(keep));
        const std::vector<uint8_t> expected =
            keep ? std::vector<uint8_t>{'n', 'e', 'w'} : std::vector<uint8_t>{'o', 'l', 'd'};
        EXPECT_EQ(test::ReadBytes(out), expected);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no leftovers

    // A folder that takes no file, and a folder where the output should be.
    StagedOutput missing(dir + "/no-such-folder/a.avi");
    EXPECT_FALSE(missing.Ready());
    EXPECT_EQ(missing.Error(), ENOENT);
    EXPECT_FALSE(missing.Commit());
    std::filesystem::create_directory(dir + "/sub.avi");
    EXPECT_FALSE(StagedOutput(dir + "/sub.avi").Ready());
}
