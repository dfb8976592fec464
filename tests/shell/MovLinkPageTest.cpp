// The MOV link page: labels, drops (.mov, .mp4 and the like, in any case), a real run, a
// non-movie source, an output that is a source, and Stop.
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "CColorButton.h"
#include "CDragListBoxEx.h"
#include "CMovLinkerDlg.h"
#include "CTrelvanDlg.h"
#include "Fixtures.h"
#include "Language.h"
#include "ShellTestSupport.h"

namespace {

constexpr int kMovLink = 12;

QString Source() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "page-mov-link",
        "-f lavfi -i testsrc=d=1:s=64x48:r=10 -f lavfi -i sine=f=440:d=1:r=8000 -c:v mjpeg "
        "-c:a pcm_s16le",
        "mov"));
}

struct Window {
    Window() {
        dlg.CreatePage(nullptr);
        dlg.show();
        QTest::mouseClick(dlg.PageButton(kMovLink), Qt::LeftButton);
        page = static_cast<CMovLinkerDlg*>(dlg.Page(kMovLink));
        list = page->findChild<CDragListBoxEx*>();
    }
    QPushButton* Button(int id) const { return page->Item<QPushButton>(id); }
    CTrelvanDlg dlg;
    CMovLinkerDlg* page = nullptr;
    CDragListBoxEx* list = nullptr;
};

}  // namespace

class MovLinkPageTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void englishAndJapaneseLabels();
    void dropsAndARealRun();
    void failuresShowThePageMessages();
    void stopBeforeTheThirdOfFiveSavesNothing();
    void aDamagedSourceIsSaidOnTheInfoLine();
};

void MovLinkPageTest::aDamagedSourceIsSaidOnTheInfoLine() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    shelltest::BoxCapture capture;
    const QString cut = QString::fromStdString(
        trelvan::test::SamplePath("mov/mutagen_truncated-64bit.mp4"));
    w.list->AddPath(cut);
    w.list->AddPath(cut);
    w.page->SetItemText(1048, dir + "/out.mov");
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(w.page->ItemText(1034).startsWith(cut + ": track"));
    QVERIFY(w.page->ItemText(1034).contains("beyond the end of the file"));
}

void MovLinkPageTest::englishAndJapaneseLabels() {
    struct Expect {
        int id;
        const char* english;
        const char* japanese;
    };
    const Expect expect[] = {
        {1049, "Input Src(Drag && Drop OK)",
         "連結するソースを指定してください(ドラッグ&&ドロップ可)"},
        {1066, "Add", "追加"},
        {1007, "Del", "削除"},
        {1032, "Reset", "リセット"},
        {1053, "Output Dst[MOV]", "出力ファイル名[MOV]"},
        {1055, "Progress", "進行状況"},
        {1034, "Info", "ソースと出力ファイル名を入れて、連結ボタンを押してください"},
        {1042, "Stop", "停止"},
        {1029, "Link", "連結"},
    };
    for (bool ja : {false, true}) {
        trelvan::SetLanguageOverride(ja ? trelvan::LanguageChoice::Japanese
                                        : trelvan::LanguageChoice::English);
        CTrelvanDlg dlg;
        dlg.CreatePage(nullptr);
        QVERIFY(dlg.PageButton(kMovLink)->isEnabled());
        auto* page = static_cast<CMovLinkerDlg*>(dlg.Page(kMovLink));
        for (const Expect& e : expect) {
            QCOMPARE(page->ItemText(e.id), QString::fromUtf8(ja ? e.japanese : e.english));
        }
    }
}

void MovLinkPageTest::dropsAndARealRun() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    shelltest::BoxCapture capture;
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + "/notes.avi"}));
    QCOMPARE(w.list->count(), 0);
    QCOMPARE(w.dlg.SelectedPage(), 0);  // not for this page: the AVI page's
    w.dlg.SelectPage(kMovLink);
    const QString a = dir + "/clip.MOV";
    QFile::copy(Source(), a);
    const QString b = dir + "/phone.mp4";
    QFile::copy(Source(), b);
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {a}));
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {b}));
    QCOMPARE(w.list->count(), 2);
    QCOMPARE(w.page->ItemText(1048), dir + "/clip_link.mov");
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(std::filesystem::exists((dir + "/clip_link.mov").toStdString()));
    QCOMPARE(w.page->ItemText(1034), QString("100 %"));
    QVERIFY(w.Button(1029)->isEnabled());
    QVERIFY(!w.Button(1042)->isEnabled());
}

void MovLinkPageTest::failuresShowThePageMessages() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    shelltest::BoxCapture capture;
    // Empty list and empty output: nothing happens.
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    // A source that is not a movie: its path and the open message, no
    // output, no 100 %.
    const QString a = dir + "/a.mov", bad = dir + "/b.mov";
    QFile::copy(Source(), a);
    trelvan::test::WriteBytes(bad.toStdString(), {1, 2, 3, 4, 5, 6, 7, 8, 9});
    w.list->AddPath(a);
    w.list->AddPath(bad);
    w.page->SetItemText(1048, dir + "/out.mov");
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 1);
    // The page's message, then which entry it is (the file is there: no
    // reason from the system).
    QCOMPARE(capture.boxes[0].text,
             bad + QString::fromUtf8("\nファイルOPENエラー") + "\n\nEntry 2 of 2: " + bad);
    QVERIFY(capture.boxes[0].stop);
    QVERIFY(!std::filesystem::exists((dir + "/out.mov").toStdString()));
    QVERIFY(w.page->ItemText(1034) != QString("100 %"));
    // The output names a source: the layer's save message with the stop
    // icon (no numeric code on this page), the source kept.
    w.page->SetItemText(1048, a);
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 2);
    QVERIFY(capture.boxes[1].text.contains("cantCreateSingleForkFile\n\nFile: " + a));
    QVERIFY(capture.boxes[1].stop);
    QVERIFY(std::filesystem::exists(a.toStdString()));
}

void MovLinkPageTest::stopBeforeTheThirdOfFiveSavesNothing() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    shelltest::BoxCapture capture;
    const QString a = dir + "/a.mov";
    QFile::copy(Source(), a);
    for (int i = 0; i < 5; ++i) {
        w.list->AddPath(a);
    }
    w.page->SetItemText(1048, dir + "/out.mov");
    // Stop is pressed during the pump before the third entry.
    int pumps = 0;
    auto pump = w.page->Context().pump;
    w.page->Context().pump = [&] {
        if (pump) {
            pump();
        }
        if (++pumps == 2) {
            QTest::mouseClick(w.Button(1042), Qt::LeftButton);
        }
    };
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(pumps, 2);
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(!std::filesystem::exists((dir + "/out.mov").toStdString()));
    QVERIFY(w.page->ItemText(1034) != QString("100 %"));
}

SHELL_TEST(MovLinkPageTest);
#include "MovLinkPageTest.moc"
