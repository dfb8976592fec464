#include <gtest/gtest.h>

#include "Fixtures.h"
#include "IniCreate.h"

namespace {

using namespace trelvan;

std::string WriteIni(const std::string& text) {
    const std::string path = test::ScratchDir() + "/Setting.ini";
    test::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
    return path;
}

TEST(IniCreateTest, RegPosDefaultsWhenFileOrKeyIsMissing) {
    EXPECT_EQ(ReadRegPos(test::ScratchDir() + "/Setting.ini"), "ZORIT");
    EXPECT_EQ(ReadRegPos(WriteIni("[OTHER]\nRegPos=Nope\n")), "ZORIT");
    EXPECT_EQ(ReadRegPos(WriteIni("[SAVE]\nRegPos=\n")), "ZORIT");
}

TEST(IniCreateTest, RegPosIsReadWhateverTheCaseAndSpacing) {
    EXPECT_EQ(ReadRegPos(WriteIni("[SAVE]\nRegPos=Other\n")), "Other");
    EXPECT_EQ(ReadRegPos(WriteIni("; note\r\n[ save ]\r\n  regpos = \"My Co\" \r\n")), "My Co");
    EXPECT_EQ(ReadRegPos(WriteIni("[A]\nRegPos=x\n[SAVE]\nkey=1\nRegPos=Second\n")), "Second");
}

TEST(IniCreateTest, LongValuesAreCutAt259Characters) {
    const std::string longValue(400, 'k');
    const std::string v = ReadRegPos(WriteIni("[SAVE]\nRegPos=" + longValue + "\n"));
    EXPECT_EQ(v, std::string(259, 'k'));
}

TEST(IniCreateTest, IntegersFallBackOnGarbage) {
    CIniCreate ini(WriteIni("[n]\na=42\nb=x\nc=-7\n"));
    EXPECT_EQ(ini.ReadInt("n", "a", 0), 42);
    EXPECT_EQ(ini.ReadInt("n", "b", 5), 5);
    EXPECT_EQ(ini.ReadInt("n", "c", 0), -7);
    EXPECT_EQ(ini.ReadInt("n", "missing", 9), 9);
}

TEST(IniCreateTest, ProgramDirIsTheExecutablesFolder) {
    const std::string dir = ProgramDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(SettingIniPath(), dir + "Setting.ini");
}

}  // namespace
