// What the pages leave at their output and what they tell: on every page
// layout a failed run keeps a file that was there before (its box naming the
// file and the system's reason) and a good run replaces it; Stop says what
// the output holds; files handed to the program open on the page of their
// kind, and the desktop entry declares what the program reads.
#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "CAVIBase.h"
#include "CDragListBoxEx.h"
#include "CTrelvanDlg.h"
#include "Fixtures.h"
#include "Language.h"
#include "ShellTestSupport.h"

namespace {

using shelltest::PageWindow;

QString Make(const char* name, const char* args, const char* ext) {
    return QString::fromStdString(trelvan::test::MakeMedia(name, args, ext));
}
QString Wmv() {  // the WMV pages' own fixture: 2 s, video and audio
    return Make("page-wmv-movie",
                "-f lavfi -i testsrc=d=2:s=64x48:r=10 -f lavfi -i sine=d=2:r=22050 -c:v wmv2 "
                "-c:a wmav2 -b:a 32k",
                "wmv");
}
QString LongAvi() {  // the AVI extract page's fixture: 10 s, a key frame every 20
    return Make("extract-key20",
                "-f lavfi -i testsrc=d=10:s=96x72:r=25 -f lavfi -i sine=d=10:r=44100 "
                "-c:v mpeg4 -g 20 -bf 0 -sc_threshold 0 -c:a pcm_s16le -f avi",
                "avi");
}

QString Copy(const QString& from, const QString& to) {
    QFile::remove(to);
    QFile::copy(from, to);
    return to;
}
void WriteOld(const QString& path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("old");
}
QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
bool WaitIdle(const PageWindow& w) {
    return QTest::qWaitFor([&w] { return w.page->IsIdle() == 1; }, 30000);
}

// Starts the page's run (1029) and presses Stop from inside its event pump
// once `when` holds; returns when the page is idle again.
void RunAndStopWhen(PageWindow& w, const std::function<bool()>& when) {
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (when()) {
            w.Click(1042);
            poll.stop();
        }
    });
    poll.start();
    w.Click(1029);
    QVERIFY(WaitIdle(w));
}

// One page of each layout, its fields filled with sources that work or
// with one that is gone; returns the file the failure is about.
struct Case {
    const char* layout;
    int page;
    int start;
    std::function<QString(PageWindow& w, const QString& dir, const QString& out, bool good)> fill;
};

const Case kCases[] = {
    {"separate (WMV)", 6, 1030,
     [](PageWindow& w, const QString& dir, const QString& out, bool good) {
         const QString src = good ? Copy(Wmv(), dir + "/sep.wmv") : dir + "/gone.wmv";
         w.page->SetItemText(1003, src);
         w.page->SetItemText(1053, out);
         return src;
     }},
    {"unite (WMV)", 7, 1029,
     [](PageWindow& w, const QString& dir, const QString& out, bool good) {
         const QString audio = good ? Copy(Wmv(), dir + "/tone.wmv") : dir + "/gone.wma";
         w.page->SetItemText(1040, Copy(Wmv(), dir + "/pictures.wmv"));
         w.page->SetItemText(1020, audio);
         w.page->SetItemText(1048, out);
         return audio;
     }},
    {"link (MOV)", 12, 1029,
     [](PageWindow& w, const QString& dir, const QString& out, bool good) {
         auto* list = w.page->findChild<CDragListBoxEx*>();
         list->ResetList();
         list->AddPath(Copy(shelltest::MovieWithSound(), dir + "/clipA.mov"));
         const QString second = Copy(shelltest::MovieWithSound(), dir + "/clipB.mov");
         list->AddPath(second);
         if (!good) {
             QFile::remove(second);  // gone after it was listed
         }
         w.page->SetItemText(1048, out);
         return second;
     }},
    {"extract (WMV)", 9, 1029,
     [](PageWindow& w, const QString& dir, const QString& out, bool good) {
         const QString src = Copy(Wmv(), dir + "/ext.wmv");
         w.Drop(src);  // loads its range
         if (!good) {
             QFile::remove(src);  // gone after it was loaded
         }
         w.page->SetItemText(1048, out);
         return src;
     }},
};

}  // namespace

class OutputKeptTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void failedRunsKeepTheOldOutputGoodOnesReplaceIt();
    void errorBoxesNameTheFileInBothLanguages();
    void stopSaysWhatTheOutputHolds();
    void filesOpenOnThePageOfTheirKind();
    void theDesktopEntryDeclaresEveryKindRead();
};

void OutputKeptTest::failedRunsKeepTheOldOutputGoodOnesReplaceIt() {
    for (const Case& c : kCases) {
        const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
        const QString ext = c.page == 12 ? ".mov" : ".wmv";
        const QString out = dir + "/clipA_out" + ext;
        for (const bool good : {false, true}) {
            PageWindow w(c.page);
            shelltest::BoxCapture capture;
            WriteOld(out);
            const QString about = c.fill(w, dir, out, good);
            w.Click(c.start);
            QVERIFY2(WaitIdle(w), c.layout);
            if (!good) {
                QCOMPARE(Bytes(out), QByteArray("old"));
                QVERIFY2(capture.boxes.size() == 1, c.layout);
                const QString text = capture.boxes[0].text;
                QVERIFY2(text.contains(about) && text.contains("No such file or directory"),
                         qPrintable(text));
                // The Info line shows its hint again, not the run's progress.
                QVERIFY2(!w.Field(1034).contains('%'), qPrintable(w.Field(1034)));
            } else {
                QVERIFY2(capture.boxes.isEmpty(), c.layout);
                QVERIFY2(Bytes(out).size() > 1000, c.layout);
            }
            // Nothing of the run stays behind under another name.
            const QStringList hidden = QDir(dir).entryList({".*_out*"}, QDir::Files | QDir::Hidden);
            QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(' ')));
        }
    }
}

void OutputKeptTest::errorBoxesNameTheFileInBothLanguages() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const struct {
        trelvan::LanguageChoice lang;
        const char* text;
        const char* where;
        const char* reason;
    } expect[] = {
        {trelvan::LanguageChoice::English, "Save Error.  I can't make file.",
         "File: ", "No such file or directory"},
        {trelvan::LanguageChoice::Japanese, "保存先のファイルを作成できません。",
         "ファイル: ", "そのようなファイルやディレクトリはありません"},
    };
    for (const auto& e : expect) {
        trelvan::SetLanguageOverride(e.lang);
        PageWindow w(3);  // AVI extract, its output in a folder that is not there
        shelltest::BoxCapture capture;
        w.Drop(Copy(LongAvi(), dir + "/a.avi"));
        const QString out = dir + "/no-such-folder/a_extr.avi";
        w.page->SetItemText(1048, out);
        w.Click(1029);
        QCOMPARE(capture.boxes.size(), 1);
        QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.2001"));
        QCOMPARE(capture.boxes[0].text, QString::fromUtf8(e.text) + "\n\n" +
                                            QString::fromUtf8(e.where) + out + "\n" +
                                            QString::fromUtf8(e.reason));
    }
    // The movie pages: a source that is not there, and none at all.
    for (const bool ja : {false, true}) {
        trelvan::SetLanguageOverride(ja ? trelvan::LanguageChoice::Japanese
                                        : trelvan::LanguageChoice::English);
        for (const QString& source : {dir + "/gone.mov", QString()}) {
            PageWindow w(shelltest::kMovExtract);
            shelltest::BoxCapture capture;
            w.page->SetItemText(1040, source);
            w.page->SetItemText(1048, dir + "/m_extr.mov");
            w.Click(1029);
            QCOMPARE(capture.boxes.size(), 1);
            const QString text = capture.boxes[0].text;
            const QString expected =
                source.isEmpty()
                    ? QString::fromUtf8(ja ? "ソースを選んでください" : "choose a source")
                    : source + QString::fromUtf8(ja ? ": ファイルがありません"
                                                    : ": the file is missing");
            QVERIFY2(text.startsWith(expected), qPrintable(text));
            QCOMPARE(text.endsWith(QString::fromUtf8(
                         ja ? "そのようなファイルやディレクトリはありません"
                            : "No such file or directory")),
                     !source.isEmpty());
        }
    }
    // A link names the entry.
    trelvan::SetLanguageOverride(trelvan::LanguageChoice::English);
    PageWindow w(2);
    shelltest::BoxCapture capture;
    auto* list = w.page->findChild<CDragListBoxEx*>();
    list->AddPath(Copy(shelltest::LinkSource(0), dir + "/l0.avi"));
    list->AddPath(dir + "/l1.avi");
    w.page->SetItemText(1048, dir + "/l_link.avi");
    w.Click(1029);
    QCOMPARE(capture.boxes.size(), 1);
    QVERIFY2(capture.boxes[0].text.startsWith("File opening failure\n\nEntry 2 of 2: " + dir +
                                              "/l1.avi\nNo such file or directory"),
             qPrintable(capture.boxes[0].text));
}

void OutputKeptTest::stopSaysWhatTheOutputHolds() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    // A stop in the video of an extract keeps the video, and the audio that
    // follows it is missing: the Info line and a box say so.
    {
        PageWindow w(3);
        shelltest::BoxCapture capture;
        w.Drop(Copy(LongAvi(), dir + "/long.avi"));
        RunAndStopWhen(w, [&w] { return w.page->Context().current.load() >= 30; });
        QVERIFY2(w.Field(1034).startsWith("Stopped: 00:00:01 of video kept, no audio"),
                 qPrintable(w.Field(1034)));
        QCOMPARE(capture.boxes.size(), 1);
        QVERIFY(capture.boxes[0].warning);
        QVERIFY2(capture.boxes[0].text.contains("no audio") &&
                     capture.boxes[0].text.contains(dir + "/long_extr.avi"),
                 qPrintable(capture.boxes[0].text));
    }
    // A link that stops saves nothing: the old output stays and the Info
    // line says so.
    {
        PageWindow w(12);
        shelltest::BoxCapture capture;
        auto* list = w.page->findChild<CDragListBoxEx*>();
        for (int i = 0; i < 3; ++i) {
            list->AddPath(Copy(shelltest::MovieWithSound(), dir + QString("/m%1.mov").arg(i)));
        }
        const QString out = dir + "/m_link.mov";
        WriteOld(out);
        w.page->SetItemText(1048, out);
        RunAndStopWhen(w, [&w] { return w.page->Context().item.load() >= 1; });
        QCOMPARE(w.Field(1034), QString("Stopped: nothing written, the old output is unchanged"));
        QCOMPARE(Bytes(out), QByteArray("old"));
        QVERIFY(capture.boxes.isEmpty());
    }
}

void OutputKeptTest::filesOpenOnThePageOfTheirKind() {
    const struct {
        const char* name;
        int page;  // -1: no page reads it
    } table[] = {
        {"a.avi", 0},  {"a.WAV", 5},  {"a.wmv", 6},  {"a.wma", 9},  {"a.mov", 10},
        {"a.MP4", 10}, {"a.m4v", 10}, {"a.3gp", 10}, {"a.m4a", 13}, {"a.txt", -1},
    };
    for (const auto& t : table) {
        QCOMPARE(CTrelvanDlg::PageForFile(t.name), t.page);
    }
    // Dropped on the window: the page shown takes what it can, else the
    // page of the file's kind is shown and takes it.
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    PageWindow w(2);  // AVI link
    QVERIFY(w.Drop(dir + "/one.avi"));
    QCOMPARE(w.dlg.SelectedPage(), 2);
    QCOMPARE(w.page->findChild<CDragListBoxEx*>()->count(), 1);
    const QString movie = Copy(shelltest::MovieWithSound(), dir + "/phone.mp4");
    QVERIFY(w.Drop(movie));
    QCOMPARE(w.dlg.SelectedPage(), 10);
    QCOMPARE(w.dlg.Page(10)->ItemText(1003), movie);
    w.dlg.OnFileDropped(dir + "/notes.txt");  // no page for it: nothing changes
    QCOMPARE(w.dlg.SelectedPage(), 10);
}

void OutputKeptTest::theDesktopEntryDeclaresEveryKindRead() {
    QFile entry(TRELVAN_DESKTOP_ENTRY);
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QStringList declared;
    for (const QString& line : QString::fromUtf8(entry.readAll()).split('\n')) {
        if (line.startsWith("MimeType=")) {
            declared = line.mid(9).split(';', Qt::SkipEmptyParts);
        }
    }
    const QMimeDatabase db;
    for (const char* ext : {"avi", "wav", "wmv", "wma", "mov", "mp4", "m4v", "3gp", "m4a"}) {
        const QString name = QString("a.") + ext;
        QVERIFY(CTrelvanDlg::PageForFile(name) >= 0);
        const QMimeType type = db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        QStringList names = type.aliases();
        names << type.name();
        QVERIFY2(std::any_of(names.begin(), names.end(),
                             [&](const QString& n) { return declared.contains(n); }),
                 qPrintable(name + ": " + names.join(' ')));
    }
}

SHELL_TEST(OutputKeptTest);
#include "OutputKeptTest.moc"
