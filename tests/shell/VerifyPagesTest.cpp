// The Verify check box of the four page layouts: present beside the start
// commands, off until ticked, remembered per page, and after a run ticked
// the Info line saying what was found identical, per kind; a difference in a
// box; Stop ends a check, keeps the output and says it was not verified.
#include <QCheckBox>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "CAVIBase.h"
#include "CColorButton.h"
#include "CTrelvanDlg.h"
#include "Fixtures.h"
#include "IniCreate.h"
#include "Language.h"
#include "PageTemplates.h"
#include "Probe.h"
#include "RegFile.h"
#include "ShellTestSupport.h"

namespace {

// The recipes of the other page tests (the files are made once).
QString ToneWav() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "page-unite-tone", "-f lavfi -i sine=d=3:f=660:r=22050 -c:a adpcm_ima_wav", "wav"));
}

QString WmvMovie() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "page-wmv-movie",
        "-f lavfi -i testsrc=d=2:s=64x48:r=10 -f lavfi -i sine=d=2:r=22050 -c:v wmv2 "
        "-c:a wmav2 -b:a 32k",
        "wmv"));
}

// Main window pages by layout: separate (106), unite (105), link (107),
// extract (110); the WMV link page runs its work on a worker thread.
enum PageIndex { kSeparate = 0, kUnite = 1, kLink = 2, kExtract = 3, kWmvLink = 8 };

struct Window {
    explicit Window(int index) {
        dlg.CreatePage(nullptr);
        dlg.show();
        QTest::mouseClick(dlg.PageButton(index), Qt::LeftButton);
        page = static_cast<CAVIBase*>(dlg.Page(index));
    }
    QCheckBox* Box() const { return page->VerifyBox(); }
    QString Info() const { return page->ItemText(1034); }
    void Click(int id) { QTest::mouseClick(page->Item<QPushButton>(id), Qt::LeftButton); }
    void Drop(const QStringList& paths) {
        for (const QString& p : paths) {
            QVERIFY(shelltest::DropFiles(&dlg, QPoint(1, 1), {p}));
        }
    }
    CTrelvanDlg dlg;
    CAVIBase* page = nullptr;
};

QString Copy(const QString& from, const QString& dir, const QString& name) {
    const QString to = dir + "/" + name;
    QFile::copy(from, to);
    return to;
}

// The page's box: beside its start commands (same row, at their left),
// reading "Verify"/"検証", off while the store holds nothing, and ticked
// again in a new window once ticked.
void CheckBoxOfPage(int index, int startId) {
    for (bool ja : {false, true}) {
        trelvan::SetLanguageOverride(ja ? trelvan::LanguageChoice::Japanese
                                        : trelvan::LanguageChoice::English);
        Window w(index);
        QVERIFY(w.Box());
        QCOMPARE(w.Box()->text(), ja ? QString::fromUtf8("検証") : QString("Verify"));
        const QRect start = w.page->Item<QPushButton>(startId)->geometry();
        QVERIFY(w.Box()->geometry().right() < start.left());
        QVERIFY(
            w.Box()->geometry().intersects(QRect(0, start.top(), w.page->width(), start.height())));
        QVERIFY(!w.Box()->isChecked());
    }
    trelvan::SetLanguageOverride(trelvan::LanguageChoice::English);
    {
        Window w(index);
        w.Box()->setChecked(true);
    }
    Window again(index);
    QVERIFY(again.Box()->isChecked());
    // Another page's box stays as it was.
    Window other(index == kLink ? kUnite : kLink);
    QVERIFY(!other.Box()->isChecked());
}

// After a run with the box ticked: "Verified: N frames and S s of audio
// identical" (or of the one kind there is), no box.
void ExpectVerified(const Window& w, const shelltest::BoxCapture& capture) {
    QCOMPARE(capture.boxes.size(), 0);
    static const QRegularExpression kVerified(
        "^Verified: ([1-9][0-9,]* frames( and [0-9]+\\.[0-9] s of audio)?|[0-9]+\\.[0-9] s of "
        "audio) identical$");
    QVERIFY2(kVerified.match(w.Info()).hasMatch(), qPrintable(w.Info()));
}

// Offset of the first byte of the first "00dc" chunk's data.
qint64 FirstVideoData(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray all = f.readAll();
    const qsizetype movi = all.indexOf("movi");
    return all.indexOf("00dc", movi) + 8;
}

void ClearStore() {
    const std::string config = trelvan::UserConfigDir();
    QVERIFY(!config.empty());
    QFile::remove(
        QString::fromStdString(config + "/" + trelvan::ReadRegPos() + "/PageSettings.reg"));
}

}  // namespace

class VerifyPagesTest : public QObject {
    Q_OBJECT
  private slots:
    // Each case starts from an empty settings store and leaves none behind
    // (the other page tests expect their boxes off).
    void init() { ClearStore(); }
    void cleanup() {
        ClearStore();
        trelvan::SetLanguageOverride(trelvan::LanguageChoice::System);
    }
    void separatePage();
    void unitePage();
    void linkPage();
    void extractPage();
    void differenceIsShownInABox();
    void stopEndsTheCheck();
};

void VerifyPagesTest::separatePage() {
    CheckBoxOfPage(kSeparate, 1030);
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w(kSeparate);
    shelltest::BoxCapture capture;
    w.Drop({Copy(shelltest::LinkSource(1), dir, "movie.avi")});
    w.Click(1036);  // the audio: 2 s of 16-bit mono
    QCOMPARE(w.Info(), QString("Verified: 2.0 s of audio identical"));
    ExpectVerified(w, capture);
}

void VerifyPagesTest::unitePage() {
    CheckBoxOfPage(kUnite, 1029);
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w(kUnite);
    shelltest::BoxCapture capture;
    w.Drop({Copy(ToneWav(), dir, "tone.wav"), Copy(shelltest::LinkSource(0), dir, "movie.avi")});
    w.Click(1029);
    ExpectVerified(w, capture);
}

void VerifyPagesTest::linkPage() {
    CheckBoxOfPage(kLink, 1029);
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    // Unticked: the run ends at 100 % as before.
    {
        Window w(kLink);
        w.Box()->setChecked(false);
        shelltest::BoxCapture capture;
        w.Drop({Copy(shelltest::LinkSource(0), dir, "a.avi"), Copy(shelltest::LinkSource(1), dir, "b.avi")});
        w.Click(1029);
        QCOMPARE(w.Info(), QString("100 %"));
    }
    trelvan::SetLanguageOverride(trelvan::LanguageChoice::Japanese);
    Window w(kLink);
    w.Box()->setChecked(true);
    shelltest::BoxCapture capture;
    w.Drop({dir + "/a.avi", dir + "/b.avi"});
    w.Click(1029);
    // 10 + 20 frames, 1 + 2 s of sound.
    QCOMPARE(w.Info(), QString::fromUtf8("検証済み: 30 フレーム、音声 3.0 秒一致"));
    QCOMPARE(capture.boxes.size(), 0);

    // A page whose work ends on a worker checks when the result is back.
    trelvan::SetLanguageOverride(trelvan::LanguageChoice::English);
    Window wmv(kWmvLink);
    wmv.Box()->setChecked(true);
    wmv.Drop({Copy(WmvMovie(), dir, "a.wmv"), Copy(WmvMovie(), dir, "b.wmv")});
    wmv.Click(1029);
    QVERIFY(QTest::qWaitFor([&] { return wmv.page->IsIdle() == 1; }, 20000));
    ExpectVerified(wmv, capture);
}

void VerifyPagesTest::extractPage() {
    CheckBoxOfPage(kExtract, 1029);
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w(kExtract);
    shelltest::BoxCapture capture;
    w.Drop({Copy(shelltest::LinkSource(1), dir, "clip.avi")});
    w.Click(1029);
    ExpectVerified(w, capture);
}

// A source changed under the run, after its first frame was copied: the
// output no longer holds what the source does, and the box says where.
void VerifyPagesTest::differenceIsShownInABox() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString a = Copy(shelltest::LinkSource(0), dir, "a.avi");
    const QString b = Copy(shelltest::LinkSource(1), dir, "b.avi");
    Window w(kLink);
    w.Box()->setChecked(true);
    shelltest::BoxCapture capture;
    w.Drop({a, b});
    const qint64 at = FirstVideoData(a);
    QTimer::singleShot(0, [&] {
        QFile f(a);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(at);
        const char byte = static_cast<char>(f.read(1).at(0) ^ 0x5a);
        f.seek(at);
        f.write(&byte, 1);
    });
    w.Click(1029);
    QCOMPARE(w.Info(), QString("Verification found a difference"));
    QCOMPARE(capture.boxes.size(), 1);
    const QString text = capture.boxes.front().text;
    QVERIFY2(text.contains(dir + "/a_link.avi"), qPrintable(text));
    // The place a player meets it: the entry, its file and the time.
    QVERIFY2(text.contains(QRegularExpression(
                 "entry 1 \\(a.avi\\) at 0(\\.0+)? s: video sample 0, byte 0: "
                 "bytes \\(a.avi sample 0\\): expected \\S+, found \\S+")),
             qPrintable(text));
}

// Stop while the output of a link of two 5 MB files is read back: the bar
// has moved, the output stays, the Info line says it was not verified and
// the commands are back.
void VerifyPagesTest::stopEndsTheCheck() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString big = QString::fromStdString(trelvan::test::MakeMedia(
        "page-verify-big", "-f lavfi -i testsrc2=d=4:s=640x360:r=25 -c:v mpeg4 -q:v 1 -f avi",
        "avi"));
    Window w(kLink);
    w.Box()->setChecked(true);
    shelltest::BoxCapture capture;
    w.Drop({Copy(big, dir, "big.avi"), Copy(big, dir, "big2.avi")});
    auto* stop = w.page->Item<QPushButton>(1042);
    int bar = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (bar < 0 && w.Info() == "Verifying..." && stop->isEnabled()) {
            bar = w.page->Item<QProgressBar>(1038)->value();
            w.Click(1042);
        }
    });
    poll.start(0);
    w.Click(1029);
    poll.stop();
    QVERIFY(bar > 0 && bar < 100);
    QCOMPARE(w.Info(), QString("Not verified: the check was stopped (the output is kept)"));
    QVERIFY(QFile::exists(dir + "/big_link.avi"));
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(!stop->isEnabled());
    QVERIFY(w.page->Item<QPushButton>(1029)->isEnabled());
}

SHELL_TEST(VerifyPagesTest);
#include "VerifyPagesTest.moc"
