#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "CEncAVISetting.h"
#include "Fixtures.h"
#include "RegFile.h"

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string HexOf(size_t n, uint8_t fill) {
    std::string s = "hex:";
    for (size_t i = 0; i < n; ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%02x", fill);
        s += b;
        if (i + 1 < n) {
            s += i % 20 == 19 ? ",\\\n  " : ",";
        }
    }
    return s;
}

class SettingsStore : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = trelvan::test::ScratchDir();
        ini = dir + "/Setting.ini";
        config = dir + "/config";
    }
    std::string Store(const std::string& company = "ZORIT") const {
        return config + "/" + company + "/AviVideoSettings.reg";
    }
    std::string dir, ini, config;
};

TEST_F(SettingsStore, WithoutAKeyDefaultsAreUsedAndOnlyTheHandlerIsWritten) {
    {
        CEncAVISetting s(ini, config);
        EXPECT_EQ(s.m_quality, 100);
        EXPECT_EQ(s.m_keyFrameEvery, 15);
        EXPECT_EQ(s.m_dataRate, 300);
        EXPECT_EQ(s.m_handler, 0x20424944u);
        EXPECT_EQ(s.m_codecStateSize, 0);
        EXPECT_TRUE(s.m_codecState.empty());
        EXPECT_TRUE(s.m_audioFormat.empty());
        EXPECT_FALSE(std::filesystem::exists(Store()));  // nothing before destruction
    }
    const std::string text = ReadText(Store());
    EXPECT_NE(text.find("[Software\\ZORIT\\AviVideoSettings]"), std::string::npos) << text;
    EXPECT_NE(text.find("\"handler\"=dword:20424944"), std::string::npos) << text;
    EXPECT_EQ(text.find("AviCodec"), std::string::npos);
    EXPECT_EQ(text.find("AudioCodec"), std::string::npos);
}

TEST_F(SettingsStore, ValuesOfTheWrongTypeOrSizeAreIgnored) {
    struct Case {
        const char* what;
        std::string content;
        uint32_t handler;
        size_t codec_bytes;
        // What the file holds after the object is gone.
        std::vector<std::string> after;
    } cases[] = {
        {"handler stored as text",
         "\"handler\"=\"XVID\"\n",
         0x20424944u,
         0,
         {"\"handler\"=dword:20424944"}},
        {"handler stored as dword",
         "\"handler\"=dword:44495658\n",
         0x44495658u,
         0,
         {"\"handler\"=dword:44495658"}},
        {"codec state of 5000 bytes",
         "\"AviCodec\"=" + HexOf(5000, 0xab) + "\n",
         0x20424944u,
         0,
         {"\"AviCodec\"=" + HexOf(5000, 0xab).substr(0, 40)}},
        {"codec state of 4096 bytes",
         "\"AviCodec\"=" + HexOf(4096, 0x5a) + "\n",
         0x20424944u,
         4096,
         {"\"AviCodec\"=hex:5a,5a"}},
        {"garbled values",
         "\"handler\"=dword:12zz\n\"AviCodec\"=hex:1,2,3\nnonsense\n",
         0x20424944u,
         0,
         {"\"handler\"=dword:20424944", "\"AviCodec\"=hex:1,2,3"}},
    };
    for (const Case& c : cases) {
        WriteText(Store(), "[Software\\ZORIT\\AviVideoSettings]\n" + c.content);
        {
            CEncAVISetting s(ini, config);
            EXPECT_EQ(s.m_handler, c.handler) << c.what;
            EXPECT_EQ(s.m_codecState.size(), c.codec_bytes) << c.what;
            EXPECT_EQ(static_cast<size_t>(s.m_codecStateSize), c.codec_bytes) << c.what;
        }
        const std::string text = ReadText(Store());
        for (const std::string& want : c.after) {
            EXPECT_NE(text.find(want), std::string::npos) << c.what << "\n" << text;
        }
        std::filesystem::remove(Store());
    }
}

TEST_F(SettingsStore, StoredBlocksRoundTripAndKeepOtherValues) {
    // An audio format of 18 + cbSize (2) bytes followed by 3 stray bytes.
    const std::string audio =
        "hex:11,00,01,00,40,1f,00,00,d7,0f,00,00,00,01,04,00,02,00,f9,01,"
        "ee,ee,ee";
    WriteText(Store(),
              "[Software\\ZORIT\\AviVideoSettings]\n\"Other\"=hex(7):41,00\n"
              "\"handler\"=dword:64697678\n\"AviCodec\"=hex:01,02,03\n\"AudioCodec\"=" +
                  audio + "\n");
    {
        CEncAVISetting s(ini, config);
        EXPECT_EQ(s.m_handler, 0x64697678u);
        EXPECT_EQ(s.m_codecState, (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(s.m_codecStateSize, 3);
        EXPECT_EQ(s.m_audioFormat.size(), 23u);
    }
    trelvan::RegFile back(Store(), "k");
    ASSERT_NE(back.Find("Other"), nullptr);
    EXPECT_EQ(back.Find("Other")->text, "hex(7):41,00");
    ASSERT_NE(back.Find("AviCodec"), nullptr);
    EXPECT_EQ(back.Find("AviCodec")->data, (std::vector<uint8_t>{1, 2, 3}));
    ASSERT_NE(back.Find("AudioCodec"), nullptr);
    EXPECT_EQ(back.Find("AudioCodec")->data.size(), 20u);  // 18 + cbSize, the stray bytes dropped
    EXPECT_EQ(back.Find("handler")->dword, 0x64697678u);
}

TEST_F(SettingsStore, RegPosInSettingIniMovesTheSettings) {
    WriteText(ini, "[SAVE]\nRegPos=OtherCo\n");
    { CEncAVISetting s(ini, config); }
    EXPECT_TRUE(std::filesystem::exists(Store("OtherCo")));
    EXPECT_FALSE(std::filesystem::exists(Store("ZORIT")));
    EXPECT_NE(ReadText(Store("OtherCo")).find("[Software\\OtherCo\\AviVideoSettings]"),
              std::string::npos);
    // A company name cannot lead out of the configuration folder.
    WriteText(ini, "[SAVE]\nRegPos=..\n");
    { CEncAVISetting s(ini, config); }
    EXPECT_TRUE(std::filesystem::exists(config + "/_/AviVideoSettings.reg"));
    WriteText(ini, "[SAVE]\nRegPos=a/../../b\n");
    { CEncAVISetting s(ini, config); }
    EXPECT_TRUE(std::filesystem::exists(config + "/a_.._.._b/AviVideoSettings.reg"));
}

TEST_F(SettingsStore, ValuesAreReadAtConstructionAndWrittenAtDestruction) {
    CEncAVISetting a(ini, config);
    WriteText(Store(), "\"handler\"=dword:11111111\n");
    a.m_handler = 0x22222222;
    {
        CEncAVISetting b(ini, config);
        EXPECT_EQ(b.m_handler, 0x11111111u);
    }
    EXPECT_NE(ReadText(Store()).find("dword:11111111"), std::string::npos);
}

// Whatever the file holds (binary junk, unterminated quotes, endless
// continuation lines, a file too large to be a settings file), the store
// reads what it can and nothing breaks.
TEST_F(SettingsStore, DamagedFilesReadAsDefaults) {
    std::string junk;
    uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1103515245 + 12345;
        junk.push_back(static_cast<char>(x >> 16));
    }
    const std::string cases[] = {
        junk,
        "\"handler",
        "\"handler\"=dword:\\\n\\\n\\",
        "\"AviCodec\"=hex:" + std::string(3 * 1024 * 1024, '0'),
    };
    for (const std::string& content : cases) {
        WriteText(Store(), content);
        {
            CEncAVISetting s(ini, config);
            EXPECT_EQ(s.m_handler, 0x20424944u);
            EXPECT_TRUE(s.m_codecState.empty());
        }
        EXPECT_NE(ReadText(Store()).find("\"handler\"=dword:20424944"), std::string::npos);
    }
}

}  // namespace
