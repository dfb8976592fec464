// The AVI link page: labels, the list and its drops, real runs, Stop and the
// Link pressed again while a stopped link unwinds, and the failures.
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "CAVILinkerDlg.h"
#include "CColorButton.h"
#include "CDragListBoxEx.h"
#include "CTrelvanDlg.h"
#include "Fixtures.h"
#include "Language.h"
#include "Probe.h"
#include "ShellTestSupport.h"

namespace {

size_t VideoPackets(const QString& path) {
    return trelvan::test::ProbePackets(path.toStdString(), "v:0").size();
}

size_t AudioBytes(const QString& path) {
    size_t n = 0;
    for (const auto& p : trelvan::test::ProbePackets(path.toStdString(), "a:0")) {
        n += p.data.size();
    }
    return n;
}

// The main window with the AVI link page selected by its button.
struct Window {
    Window() {
        dlg.CreatePage(nullptr);
        dlg.show();
        QTest::mouseClick(dlg.PageButton(2), Qt::LeftButton);
        page = static_cast<CAVILinkerDlg*>(dlg.Page(2));
        list = page->findChild<CDragListBoxEx*>();
    }
    QString Field(int id) const { return page->ItemText(id); }
    QPushButton* Button(int id) const { return page->Item<QPushButton>(id); }
    // Copies sources into `dir` and drops them on the page.
    QStringList DropCopies(const QString& dir, std::initializer_list<int> which) {
        QStringList paths;
        for (int i : which) {
            const QString p = dir + QString("/src%1.avi").arg(paths.size());
            QFile::copy(shelltest::LinkSource(i), p);
            paths << p;
        }
        for (const QString& p : paths) {
            shelltest::DropFiles(&dlg, QPoint(1, 1), {p});
        }
        return paths;
    }
    CTrelvanDlg dlg;
    CAVILinkerDlg* page = nullptr;
    CDragListBoxEx* list = nullptr;
};

}  // namespace

class AviLinkPageTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void englishAndJapaneseLabels();
    void dropsFillListAndProposeOutput();
    void addResetAndBrowse();
    void realRunByClickingLink();
    void stopInSecondOfThreeAndLinkAgainRefused();
    void failuresShowTheirCodes();
    void unreadableAudioAsksTheQuestion();
    void differingSourcesAreAskedAbout();
};

void AviLinkPageTest::englishAndJapaneseLabels() {
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
        {1053, "Output Dst[AVI]", "出力ファイル名[AVI]"},
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
        QVERIFY(dlg.PageButton(2)->isEnabled());
        auto* page = static_cast<CAVILinkerDlg*>(dlg.Page(2));
        for (const Expect& e : expect) {
            QCOMPARE(page->ItemText(e.id), QString::fromUtf8(ja ? e.japanese : e.english));
        }
    }
}

void AviLinkPageTest::dropsFillListAndProposeOutput() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    shelltest::BoxCapture capture;
    // Another kind of file dropped on the page is ignored.
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + "/notes.txt"}));
    QCOMPARE(w.list->count(), 0);
    QCOMPARE(w.Field(1048), QString());
    // The first .avi (any case) proposes the output; the second leaves it.
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + "/Clip.AVI"}));
    QCOMPARE(w.Field(1048), dir + "/Clip_link.avi");
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + "/second.avi"}));
    QCOMPARE(w.Field(1048), dir + "/Clip_link.avi");
    QCOMPARE(w.list->Paths(), QStringList({dir + "/Clip.AVI", dir + "/second.avi"}));
    // Dropped on the list itself: taken whatever its kind, output untouched.
    const QPoint onList = w.list->mapTo(&w.dlg, w.list->rect().center());
    QVERIFY(shelltest::DropFiles(&w.dlg, onList, {dir + "/notes.txt"}));
    QCOMPARE(w.list->count(), 3);
    QCOMPARE(w.Field(1048), dir + "/Clip_link.avi");
    QCOMPARE(capture.boxes.size(), 0);
}

void AviLinkPageTest::addResetAndBrowse() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    w.list->AddPath(dir + "/a.avi");
    w.list->AddPath(dir + "/b.avi");
    w.list->setCurrentRow(1);
    QFile::copy(shelltest::LinkSource(0), dir + "/new.avi");
    QStringList filters;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        filters = dialog->nameFilters();
        dialog->selectFile(dir + "/new.avi");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(w.Button(1066), Qt::LeftButton);
    QCOMPARE(filters, QStringList({"AVI (*.avi)"}));
    // Inserted before the selected entry; the output is left alone.
    QCOMPARE(w.list->Paths(), QStringList({dir + "/a.avi", dir + "/new.avi", dir + "/b.avi"}));
    QCOMPARE(w.Field(1048), QString());

    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->selectFile(dir + "/joined");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(w.Button(1051), Qt::LeftButton);
    QCOMPARE(w.Field(1048), dir + "/joined.avi");

    QTest::mouseClick(w.Button(1007), Qt::LeftButton);
    QCOMPARE(w.list->count(), 2);
    QTest::mouseClick(w.Button(1032), Qt::LeftButton);
    QCOMPARE(w.list->count(), 0);
    QCOMPARE(w.Field(1048), QString());
}

void AviLinkPageTest::realRunByClickingLink() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    shelltest::BoxCapture capture;
    const QStringList src = w.DropCopies(dir, {0, 1});
    // With an empty output field, Link fills in the default name first.
    w.page->SetItemText(1048, "");
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    const QString out = dir + "/src0_link.avi";
    QCOMPARE(w.Field(1048), out);
    QCOMPARE(w.Field(1034), QString("100 %"));
    QCOMPARE(w.page->Item<QProgressBar>(1038)->value(), 100);
    QVERIFY(w.Button(1029)->isEnabled());
    QVERIFY(!w.Button(1042)->isEnabled());
    QCOMPARE(w.page->IsIdle(), 1);
    QCOMPARE(VideoPackets(out), VideoPackets(src[0]) + VideoPackets(src[1]));
    QCOMPARE(AudioBytes(out), AudioBytes(src[0]) + AudioBytes(src[1]));
}

void AviLinkPageTest::stopInSecondOfThreeAndLinkAgainRefused() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    shelltest::BoxCapture capture;
    const QStringList src = w.DropCopies(dir, {0, 1, 2});
    const QString out = dir + "/src0_link.avi";
    QString infoDuringSecond;
    bool stopped = false;
    bool linkEnabledAfterStop = false;
    QTimer poll;
    poll.setInterval(0);
    // Runs inside the link's event pump after every frame.
    QObject::connect(&poll, &QTimer::timeout, [&] {
        trelvan::OpContext& ctx = w.page->Context();
        if (stopped || ctx.item.load() != 1 || ctx.current.load() < 4) {
            return;
        }
        w.page->RefreshProgress();
        infoDuringSecond = w.Field(1034);
        QVERIFY(!w.Button(1029)->isEnabled());
        QTest::mouseClick(w.Button(1042), Qt::LeftButton);
        stopped = true;
        QVERIFY(!w.Button(1042)->isEnabled());
        // Stop enables Link at once; pressing it before the stopped link has
        // returned starts nothing.
        linkEnabledAfterStop = w.Button(1029)->isEnabled();
        QTest::mouseClick(w.Button(1029), Qt::LeftButton);
        QVERIFY(w.page->Linking());
        poll.stop();
    });
    poll.start();
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QVERIFY(stopped);
    QVERIFY(linkEnabledAfterStop);
    QVERIFY(!w.page->Linking());
    // Frame 4 of the second source's frames 0..19: 4 x 100 / 19.
    QVERIFY2(infoDuringSecond.startsWith(" 2/ 3  21 % ("), qPrintable(infoDuringSecond));
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(w.Field(1034) != QString("100 %"));
    QVERIFY(w.Button(1029)->isEnabled());
    QCOMPARE(w.page->IsIdle(), 1);
    // All of the first source, four frames of the second, none of its audio.
    QCOMPARE(VideoPackets(out), VideoPackets(src[0]) + 4);
    QCOMPARE(AudioBytes(out), AudioBytes(src[0]));
    QVERIFY(trelvan::test::DecodesCleanly(out.toStdString()));
}

void AviLinkPageTest::failuresShowTheirCodes() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    shelltest::BoxCapture capture;
    // Empty list and empty output: nothing happens.
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    // Empty list with an output: -1.
    w.page->SetItemText(1048, dir + "/o.avi");
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 1);
    QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.-001"));

    const QStringList src = w.DropCopies(dir, {0, 1});
    const std::vector<uint8_t> before = trelvan::test::ReadBytes(src[1].toStdString());
    struct Case {
        QString output;
        QString extra;  // a third entry
        const char* caption;
    };
    const Case cases[] = {
        {src[1], {}, "エラーNo.6006"},
        {dir + "/./" + QFileInfo(src[0]).fileName(), {}, "エラーNo.6006"},
        {dir + "/o.avi", dir + "/missing.avi", "エラーNo.1002"},
        {dir + "/none/o.avi", {}, "エラーNo.2001"},
    };
    for (const Case& c : cases) {
        capture.boxes.clear();
        while (w.list->count() > 2) {
            w.list->DeleteAt(2);
        }
        if (!c.extra.isEmpty()) {
            w.list->AddPath(c.extra);
        }
        w.page->SetItemText(1048, c.output);
        QTest::mouseClick(w.Button(1029), Qt::LeftButton);
        QCOMPARE(capture.boxes.size(), 1);
        QCOMPARE(capture.boxes[0].caption, QString::fromUtf8(c.caption));
        QCOMPARE(w.page->IsIdle(), 1);
        QVERIFY(w.Button(1029)->isEnabled());
        QCOMPARE(w.Field(1034), QString("Info"));  // never entered the run
    }
    QVERIFY(!QFileInfo::exists(dir + "/o.avi"));
    QCOMPARE(trelvan::test::ReadBytes(src[1].toStdString()), before);
}

// The sources stop being readable once the first one's video is copied: its
// audio block that cannot be read is asked about, once (OK ends its audio).
void AviLinkPageTest::unreadableAudioAsksTheQuestion() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    // Larger than what the reader keeps read ahead: the audio after the
    // video is read from the file again.
    const QString longer = QString::fromStdString(trelvan::test::MakeMedia(
        "page-link-long",
        "-f lavfi -i testsrc=d=10:s=96x72:r=25 -f lavfi -i sine=d=10:r=44100 "
        "-c:v mpeg4 -g 25 -c:a pcm_s16le -f avi",
        "avi"));
    Window w;
    shelltest::BoxCapture capture;
    for (const char* name : {"/long0.avi", "/long1.avi"}) {
        QFile::copy(longer, dir + name);
        QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + name}));
    }
    const std::shared_ptr<bool> broken = shelltest::BreakReadsAfterVideo(w.page);
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QVERIFY(*broken);
    QVERIFY(!capture.boxes.isEmpty());
    QVERIFY(capture.boxes[0].okCancel);
    QCOMPARE(capture.boxes[0].caption, QString("Trelvan+"));
    QCOMPARE(capture.boxes[0].text,
             QString("The Audio was failed in reading. \nDo you discontinue it?"));
    QCOMPARE(std::count_if(capture.boxes.begin(), capture.boxes.end(),
                           [](const auto& b) { return b.okCancel; }),
             1);
    QCOMPARE(w.page->IsIdle(), 1);
}

// A source of another frame rate: the page asks before it deletes anything,
// naming the difference; Cancel leaves the old output, OK joins.
void AviLinkPageTest::differingSourcesAreAskedAbout() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString other = dir + "/r12.avi";
    QFile::copy(QString::fromStdString(trelvan::test::MakeMedia(
                    "page-link-r12",
                    "-f lavfi -i testsrc=d=1:s=64x48:r=12 -f lavfi -i sine=d=1:r=8000 -c:v mpeg4 "
                    "-c:a pcm_s16le -f avi",
                    "avi")),
                other);
    for (const bool ok : {false, true}) {
        Window w;
        shelltest::BoxCapture capture;
        capture.answer = ok;
        w.DropCopies(dir, {0});
        shelltest::DropFiles(&w.dlg, QPoint(1, 1), {other});
        const QString out = dir + "/asked.avi";
        QFile f(out);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
        f.close();
        w.page->SetItemText(1048, out);
        QTest::mouseClick(w.Button(1029), Qt::LeftButton);
        QCOMPARE(capture.boxes.size(), 1);
        QVERIFY(capture.boxes[0].okCancel);
        QVERIFY2(capture.boxes[0].text.contains("frame rate"), qPrintable(capture.boxes[0].text));
        QCOMPARE(QFileInfo(out).size() == 3, !ok);
        QCOMPARE(w.page->IsIdle(), 1);
    }
}

SHELL_TEST(AviLinkPageTest);
#include "AviLinkPageTest.moc"
