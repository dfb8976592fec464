// The cut preview of the extract pages: what it shows against ffprobe's
// key frames and a real extract, the range without a key frame, how it is
// opened (right-click menu, Ctrl+P) and the error box of a bad source.
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "AviExtract.h"
#include "CBaseExtractPage.h"
#include "CColorButton.h"
#include "CCutPreviewDlg.h"
#include "CTrelvanDlg.h"
#include "Fixtures.h"
#include "Language.h"
#include "Probe.h"
#include "Process.h"
#include "ShellTestSupport.h"
#include "WmvOperations.h"

namespace {

constexpr int kAvi = 3, kWav = 5, kWmv = 9;

QString Make(const char* name, const char* args, const char* ext) {
    return QString::fromStdString(trelvan::test::MakeMedia(name, args, ext));
}
// 25 fps, 3 s, a key frame every 10 frames.
QString AviKeyEvery10() {
    return Make(
        "preview-key10",
        "-f lavfi -i testsrc=d=3:s=64x48:r=25 -c:v mpeg4 -g 10 -bf 0 -sc_threshold 0 -f avi",
        "avi");
}
// 10 fps, 3 s of video alone, a key frame every 10 frames.
QString WmvKeyEvery10() {
    return Make("preview-wmv-key10", "-f lavfi -i testsrc=d=3:s=64x48:r=10 -c:v wmv2 -g 10", "wmv");
}
// 2 s, 8,000 Hz 16-bit mono.
QString Wav() {
    return Make("preview-tone", "-f lavfi -i sine=d=2:r=8000 -c:a pcm_s16le", "wav");
}

// Packet times (ms) of the first video stream as ffprobe sees them: all, or
// the key frames only.
QList<int64_t> ProbeVideoTimes(const QString& path, bool keysOnly) {
    const auto r = trelvan::test::RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0",
                                              "-show_entries", "packet=pts_time,flags", "-of",
                                              "csv=p=0", path.toStdString()});
    QList<int64_t> times;
    for (const QString& line : QString::fromStdString(r.out).split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(',');
        if (f.size() >= 2 && (!keysOnly || f[1].startsWith('K'))) {
            times.append(qRound64(f[0].toDouble() * 1000));
        }
    }
    return times;
}

// What a preview window showed.
struct Shown {
    bool open = false;
    QStringList captions, times;
    QList<bool> pictures;  // whether each frame had a picture
    QString facts, warning;
};

// Calls `open` and reads the preview window it opens (then closes it).
Shown ReadPreview(const std::function<void()>& open) {
    auto shown = std::make_shared<Shown>();
    QTimer::singleShot(0, [shown] {
        auto* dlg = qobject_cast<CCutPreviewDlg*>(QApplication::activeModalWidget());
        if (!dlg) {
            return;
        }
        shown->open = true;
        for (int i = 0;; ++i) {
            const QString n = "Frame" + QString::number(i);
            auto* time = dlg->findChild<QLabel*>(n + "Time");
            if (!time) {
                break;
            }
            shown->captions.append(dlg->findChild<QLabel*>(n + "Caption")->text());
            shown->times.append(time->text());
            shown->pictures.append(!dlg->findChild<QLabel*>(n + "Picture")->pixmap().isNull());
        }
        shown->facts = dlg->findChild<QLabel*>("Facts")->text();
        shown->warning = dlg->findChild<QLabel*>("Warning")->text();
        dlg->reject();
    });
    open();
    QCoreApplication::processEvents();  // a timer that found no window is spent here
    return *shown;
}

struct Window {
    explicit Window(int index) {
        dlg.CreatePage(nullptr);
        dlg.show();
        QTest::mouseClick(dlg.PageButton(index), Qt::LeftButton);
        page = static_cast<CBaseExtractPage*>(dlg.Page(index));
    }
    void SetRange(std::array<int, 8> values) {
        for (size_t i = 0; i < 8; ++i) {
            page->SetItemText(CBaseExtractPage::kRangeIds[i], QString::number(values[i]));
        }
    }
    // The preview through the page's right-click menu.
    Shown FromMenu() {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                                page->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(page, &event);
        // The menu goes when closed (the preview window closes it first).
        QPointer<QMenu> menu = page->findChild<QMenu*>("SysMenu");
        auto* action = menu ? menu->findChild<QAction*>("PreviewAction") : nullptr;
        const Shown shown = action ? ReadPreview([action] { action->trigger(); }) : Shown();
        if (menu) {
            menu->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return shown;
    }
    CTrelvanDlg dlg;
    CBaseExtractPage* page = nullptr;
};

QString Time(int64_t ms) {
    return trelvan::shell::PreviewTime(ms);
}

}  // namespace

class CutPreviewTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void aviStartMovesToTheNextKeyFrame();
    void wmvFirstKeyAndLastFrame();
    void audioSpanIsWhatTheExtractWrites();
    void menuEntryAndShortcut();
    void badSourcesShowTheErrorBox();
};

// Start 1.1 s is frame 28; ffprobe's next key frame is where the extract
// begins. End 2.0 s is frame 50, the last frame written. A range of two
// frames between key frames has none: the start goes back to the key frame
// before them, and the preview says so.
void CutPreviewTest::aviStartMovesToTheNextKeyFrame() {
    const QString src = AviKeyEvery10();
    const QList<int64_t> keys = ProbeVideoTimes(src, true);
    QCOMPARE(keys.size(), 8);
    int64_t key = -1;
    for (int64_t t : keys) {
        if (t >= 1120 && key < 0) {  // frame 28 at 40 ms a frame
            key = t;
        }
    }
    QVERIFY(key > 1120);
    Window w(kAvi);
    shelltest::BoxCapture capture;
    w.page->SetItemText(1040, src);
    w.SetRange({0, 0, 1, 120, 0, 0, 2, 0});
    Shown s = w.FromMenu();
    QVERIFY(s.open);
    QCOMPARE(s.times.size(), 2);
    QVERIFY2(s.times[0].startsWith(Time(key) + " (frame " + QString::number(key / 40) + ")"),
             qPrintable(s.times[0]));
    QVERIFY(s.times[0].contains("moved from " + Time(1120) + " (frame 28) to a key frame"));
    QCOMPARE(s.times[1], Time(2000) + " (frame 50)");
    QCOMPARE(s.pictures, (QList<bool>{true, true}));
    QVERIFY2(s.facts.contains("Duration: " + Time(2040 - key)), qPrintable(s.facts));
    QVERIFY(s.facts.contains("Frames: " + QString::number(51 - key / 40)));
    QVERIFY(s.warning.isEmpty());

    // Frames 28 and 29 hold no key frame: back to ffprobe's key frame
    // before them, so the output still decodes from its first frame.
    int64_t before = -1;
    for (int64_t t : keys) {
        before = t < 1120 ? t : before;
    }
    QVERIFY(before >= 0);
    w.SetRange({0, 0, 1, 120, 0, 0, 1, 160});
    s = w.FromMenu();
    const trelvan::AviTime moved = trelvan::AviTime::FromMs(before);
    QCOMPARE(s.warning, QString::fromStdString(trelvan::NoKeyFrameWarning(moved)));
    QCOMPARE(s.times[0], Time(before) + " (frame " + QString::number(before / 40) +
                             ")\nmoved back from " + Time(1120) +
                             " (frame 28) to the key frame before it: no key frame in the range");
    QCOMPARE(capture.boxes.size(), 0);

    // A codec nobody knows: the times without pictures.
    std::vector<uint8_t> bytes = trelvan::test::ReadBytes(src.toStdString());
    const std::string fourcc = "FMP4";
    for (auto at = std::search(bytes.begin(), bytes.end(), fourcc.begin(), fourcc.end());
         at != bytes.end(); at = std::search(at, bytes.end(), fourcc.begin(), fourcc.end())) {
        std::copy_n("ZZZZ", 4, at);
    }
    const QString unknown = QString::fromStdString(trelvan::test::ScratchDir()) + "/zzzz.avi";
    trelvan::test::WriteBytes(unknown.toStdString(), bytes);
    w.page->SetItemText(1040, unknown);
    s = w.FromMenu();
    QCOMPARE(s.times.size(), 2);
    QCOMPARE(s.pictures, (QList<bool>{false, false}));

    // The run of that range tells the user's log (standard output) of it.
    w.page->SetItemText(1048, QString::fromStdString(trelvan::test::ScratchDir()) + "/nokey.avi");
    shelltest::StdoutCapture out;
    QTest::mouseClick(w.page->Item<QPushButton>(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(out.Text().contains(QString::fromStdString(trelvan::NoKeyFrameWarning(moved)) + "\n"));
}

// WMV: the start is not moved; the first key frame written is ffprobe's
// first at or after it, the last frame ffprobe's last at or before the end.
void CutPreviewTest::wmvFirstKeyAndLastFrame() {
    const QString src = WmvKeyEvery10();
    const QList<int64_t> all = ProbeVideoTimes(src, false);
    const QList<int64_t> keys = ProbeVideoTimes(src, true);
    QCOMPARE(all.size(), 30);
    auto firstFrom = [](const QList<int64_t>& times, int64_t from) {
        for (int64_t t : times) {
            if (t >= from) {
                return t;
            }
        }
        return int64_t{-1};
    };
    auto lastUpTo = [&all](int64_t end) {
        int64_t last = -1;
        for (int64_t t : all) {
            last = t <= end ? t : last;
        }
        return last;
    };
    Window w(kWmv);
    shelltest::BoxCapture capture;
    w.page->SetItemText(1040, src);
    w.SetRange({0, 0, 0, 450, 0, 0, 2, 250});
    Shown s = w.FromMenu();
    QVERIFY(s.open);
    QCOMPARE(s.times, (QStringList{Time(firstFrom(keys, 450)), Time(lastUpTo(2250))}));
    QCOMPARE(s.pictures, (QList<bool>{true, true}));
    // The counts of a dry run of the extract itself.
    trelvan::WmvExtractJob job;
    job.source = src.toStdString();
    job.start = 4500000;
    job.end = 22500000;
    trelvan::WmvExtractPlan plan;
    QCOMPARE(trelvan::PlanWmvExtract(job, &plan), 0);
    QVERIFY2(s.facts.contains("Samples: " + QString::number(plan.samples)), qPrintable(s.facts));
    QVERIFY(s.facts.contains("Bytes: " + QString::number(plan.bytes)));
    QVERIFY(s.warning.isEmpty());

    // Between two key frames: no key frame, the last frame still shown.
    w.SetRange({0, 0, 1, 100, 0, 0, 1, 500});
    s = w.FromMenu();
    QCOMPARE(s.warning, QString::fromStdString(trelvan::WmvNoKeyFrameWarning()));
    QCOMPARE(s.times, QStringList{Time(lastUpTo(1500))});
    QCOMPARE(s.pictures, QList<bool>{true});
    QCOMPARE(capture.boxes.size(), 0);
}

// The span and sample count the preview gives are those of the file the
// Extra command then writes.
void CutPreviewTest::audioSpanIsWhatTheExtractWrites() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w(kWav);
    shelltest::BoxCapture capture;
    w.page->SetItemText(1040, Wav());
    w.page->SetItemText(1048, dir + "/span.wav");
    w.SetRange({0, 0, 0, 500, 0, 0, 1, 250});
    const Shown s = w.FromMenu();
    QVERIFY(s.open);
    QVERIFY(s.times.isEmpty());
    QTest::mouseClick(w.page->Item<QPushButton>(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    size_t bytes = 0;
    for (const auto& p : trelvan::test::ProbePackets((dir + "/span.wav").toStdString(), "a:0")) {
        bytes += p.data.size();
    }
    QCOMPARE(bytes, size_t(6000 * 2));
    QCOMPARE(s.facts, QStringList({"Start: " + Time(500), "End: " + Time(1250),
                                   "Duration: " + Time(750), "Samples: 6000"})
                          .join('\n'));
}

// The menu entry in both languages (with its shortcut) and Ctrl+P open it;
// a refused range field ends it before any window.
void CutPreviewTest::menuEntryAndShortcut() {
    for (bool ja : {false, true}) {
        trelvan::SetLanguageOverride(ja ? trelvan::LanguageChoice::Japanese
                                        : trelvan::LanguageChoice::English);
        Window w(kWav);
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), QPoint(2, 2));
        QApplication::sendEvent(w.page, &event);
        QMenu* menu = w.page->findChild<QMenu*>("SysMenu");
        QVERIFY(menu);
        QAction* action = menu->findChild<QAction*>("PreviewAction");
        QVERIFY(action);
        QCOMPARE(action->text(),
                 QString::fromUtf8(ja ? "プレビュー...\tCtrl+P" : "Preview...\tCtrl+P"));
        menu->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    trelvan::SetLanguageOverride(trelvan::LanguageChoice::English);
    Window w(kWav);
    shelltest::BoxCapture capture;
    w.page->SetItemText(1040, Wav());
    QVERIFY(QTest::qWaitForWindowActive(&w.dlg));
    auto* field = w.page->Item<QLineEdit>(CBaseExtractPage::kRangeIds[6]);
    field->setFocus();
    const Shown s =
        ReadPreview([field] { QTest::keyClick(field, Qt::Key_P, Qt::ControlModifier); });
    QVERIFY(s.open);
    QVERIFY(s.facts.contains("Samples: "));

    field->setText("x");  // refused as the Extra command refuses it
    QVERIFY(!ReadPreview([&w] { w.FromMenu(); }).open);
    QCOMPARE(capture.boxes.size(), 1);
    QVERIFY(capture.boxes[0].warning);
}

// No source, or one that cannot be read: the page's error box, no window.
void CutPreviewTest::badSourcesShowTheErrorBox() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    trelvan::test::WriteBytes((dir + "/junk").toStdString(), std::vector<uint8_t>(64, 'x'));
    const struct {
        int page;
        QString source;
        const char* caption;
    } cases[] = {
        {kAvi, dir + "/junk", "エラーNo.1002"},
        {kAvi, "", "エラーNo.1002"},
        {kWav, dir + "/junk", "エラーNo.1002"},
        {kWmv, dir + "/junk", "エラーNo.8201"},
        {kWmv, "", "エラーNo.8201"},
    };
    for (const auto& c : cases) {
        Window w(c.page);
        shelltest::BoxCapture capture;
        w.page->SetItemText(1040, c.source);
        QVERIFY(!w.FromMenu().open);
        QCOMPARE(capture.boxes.size(), 1);
        QCOMPARE(capture.boxes[0].caption, QString::fromUtf8(c.caption));
    }
}

SHELL_TEST(CutPreviewTest);
#include "CutPreviewTest.moc"
