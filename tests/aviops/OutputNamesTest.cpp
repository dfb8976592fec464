#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Fixtures.h"
#include "OutputNames.h"

namespace trelvan {
namespace {

TEST(OutputNames, StemsAndDefaultNames) {
    struct Case {
        const char* path;
        const char* ext;
        const char* stem;
        const char* extracted;
    };
    const Case cases[] = {
        {"/movie/a.avi", ".avi", "/movie/a", "/movie/a_extr.wav"},
        {"/movie/a.b.AVI", ".AVI", "/movie/a.b", "/movie/a.b_extr.wav"},
        {"/mo.vie/a", "", "/mo.vie/a", "/mo.vie/a_extr.wav"},
        {"a.wav", ".wav", "a", "a_extr.wav"},
        {"", "", "", "_extr.wav"},
        {"/x/.hidden", ".hidden", "/x/", "/x/_extr.wav"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileExtension(c.path), c.ext) << c.path;
        EXPECT_EQ(FileStem(c.path), c.stem) << c.path;
        EXPECT_EQ(DefaultOutputName(c.path, "_extr", ".wav"), c.extracted) << c.path;
    }
}

// The output may not be the source, however it is spelled.
TEST(OutputNames, SameFileSeesThroughSpellingsAndLinks) {
    const std::string dir = test::ScratchDir();
    const std::string a = dir + "/a.wav";
    test::WriteBytes(a, {1, 2, 3});
    ASSERT_EQ(::mkdir((dir + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(a.c_str(), (dir + "/sym.wav").c_str()), 0);
    ASSERT_EQ(::link(a.c_str(), (dir + "/hard.wav").c_str()), 0);
    test::WriteBytes(dir + "/other.wav", {1, 2, 3});

    EXPECT_TRUE(SameFile(a, a));
    EXPECT_TRUE(SameFile(a, dir + "/sub/../a.wav"));
    EXPECT_TRUE(SameFile(a, dir + "//./a.wav"));
    EXPECT_TRUE(SameFile(a, dir + "/sym.wav"));
    EXPECT_TRUE(SameFile(a, dir + "/hard.wav"));
    EXPECT_FALSE(SameFile(a, dir + "/other.wav"));
    EXPECT_FALSE(SameFile(a, dir + "/missing.wav"));
    EXPECT_FALSE(SameFile(a, ""));
}

TEST(OutputNames, RemoveExistingFileTakesReadOnlyFiles) {
    const std::string dir = test::ScratchDir();
    const std::string f = dir + "/old.wav";
    test::WriteBytes(f, {9});
    ASSERT_EQ(::chmod(f.c_str(), 0444), 0);
    EXPECT_EQ(RemoveExistingFile(f), 0);
    EXPECT_NE(::access(f.c_str(), F_OK), 0);
    EXPECT_EQ(RemoveExistingFile(f), 0);  // nothing there: fine
    EXPECT_EQ(RemoveExistingFile(""), 0);
}

}  // namespace
}  // namespace trelvan
