// The audio extract page: labels, drops, the range fields, real runs.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "CTrelvanDlg.h"
#include "CWAVExtract.h"
#include "Language.h"
#include "ShellTestSupport.h"

class AudioExtractPageTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void englishAndJapaneseLabels();
};

void AudioExtractPageTest::englishAndJapaneseLabels() {
    struct Expect {
        int id;
        const char* english;
        const char* japanese;
    };
    const Expect expect[] = {
        {1049, "Input Src(Drag && Drop OK)", "ソースを指定してください(ドラッグ&&ドロップ可)"},
        {1050, "Audio Src[WAV]", "音声ソース[WAV]"},
        {1053, "Output Dst[WAV]", "出力ファイル名[WAV]"},
        {1059, "Progress", "進行状況"},
        {1034, "Info", "ソースと出力ファイル名を入れて、抽出ボタンを押してください"},
        {1042, "Stop", "停止"},
        {1029, "Extra", "抽出"},
        {1058, "Extraction range", "抽出範囲指定"},
        {1060, "H", "時"},
        {1061, "H", "時"},
        {1062, "M", "分"},
        {1063, "M", "分"},
        {1064, "S", "秒"},
        {1065, "S", "秒"},
    };
    for (bool ja : {false, true}) {
        trelvan::SetLanguageOverride(ja ? trelvan::LanguageChoice::Japanese
                                        : trelvan::LanguageChoice::English);
        CTrelvanDlg dlg;
        dlg.CreatePage(nullptr);
        auto* page = static_cast<CWAVExtract*>(dlg.Page(5));
        for (const Expect& e : expect) {
            QCOMPARE(page->ItemText(e.id), QString::fromUtf8(ja ? e.japanese : e.english));
        }
    }
}

SHELL_TEST(AudioExtractPageTest);
#include "AudioExtractPageTest.moc"
