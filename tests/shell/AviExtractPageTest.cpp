// The AVI extract page: labels, drops, the range fields, a real run.
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "CAVIExtract.h"
#include "CColorButton.h"
#include "CTrelvanDlg.h"
#include "Fixtures.h"
#include "Language.h"
#include "Probe.h"
#include "ShellTestSupport.h"

namespace {

// 25 fps, 250 frames, a key frame every 20 frames, 16-bit mono PCM.
QString KeyEvery20() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "extract-key20",
        "-f lavfi -i testsrc=d=10:s=96x72:r=25 -f lavfi -i sine=d=10:r=44100 "
        "-c:v mpeg4 -g 20 -bf 0 -sc_threshold 0 -c:a pcm_s16le -f avi",
        "avi"));
}

// The main window with the AVI extract page selected by its button.
struct Window {
    Window() {
        dlg.CreatePage(nullptr);
        dlg.show();
        QTest::mouseClick(dlg.PageButton(3), Qt::LeftButton);
        page = static_cast<CAVIExtract*>(dlg.Page(3));
    }
    void SetRange(std::array<int, 8> values) {
        for (size_t i = 0; i < 8; ++i) {
            auto* field = page->Item<QLineEdit>(CAVIExtract::kRangeIds[i]);
            field->clear();
            QTest::keyClicks(field, QString::number(values[i]));
        }
    }
    std::array<int, 8> Range() const {
        std::array<int, 8> v{};
        for (size_t i = 0; i < 8; ++i) {
            v[i] = page->ItemText(CAVIExtract::kRangeIds[i]).toInt();
        }
        return v;
    }
    QString Field(int id) const { return page->ItemText(id); }
    CTrelvanDlg dlg;
    CAVIExtract* page = nullptr;
};

}  // namespace

class AviExtractPageTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void englishAndJapaneseLabels();
    void dropLoadsRangeAndRunMovesStartToKeyFrame();
    void errorsOfStart();
    void browseFilters();
    void unreadableAudioAsksTheQuestion();
};

void AviExtractPageTest::englishAndJapaneseLabels() {
    struct Expect {
        int id;
        const char* english;
        const char* japanese;
    };
    const Expect expect[] = {
        {1049, "Input Src(Drag && Drop OK)", "ソースを指定してください(ドラッグ&&ドロップ可)"},
        {1050, "Movie Src[AVI]", "映像ソース[AVI]"},
        {1053, "Output Dst[AVI]", "出力ファイル名[AVI]"},
        {1059, "Progress", "進行状況"},
        {1034, "Info", "ソースと出力ファイル名を入れて、抽出ボタンを押してください"},
        {1042, "Stop", "停止"},
        {1029, "Extra", "抽出"},
        {1058, "Extraction range", "抽出範囲指定"},
        {1060, "H", "時"},
        {1062, "M", "分"},
        {1065, "S", "秒"},
    };
    for (bool ja : {false, true}) {
        trelvan::SetLanguageOverride(ja ? trelvan::LanguageChoice::Japanese
                                        : trelvan::LanguageChoice::English);
        CTrelvanDlg dlg;
        dlg.CreatePage(nullptr);
        QVERIFY(dlg.PageButton(3)->isEnabled());
        auto* page = static_cast<CAVIExtract*>(dlg.Page(3));
        for (const Expect& e : expect) {
            QCOMPARE(page->ItemText(e.id), QString::fromUtf8(ja ? e.japanese : e.english));
        }
    }
}

// The Part's case: a 25 fps source of 250 frames fills 0:0:0.0 to 0:0:10.0;
// a start of 0:0:1.0 becomes frame 25, moves to the key frame 40, and the
// start fields show 0 H 0 M 1 . 600 S.
void AviExtractPageTest::dropLoadsRangeAndRunMovesStartToKeyFrame() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString src = dir + "/Clip.AVI";
    QFile::copy(KeyEvery20(), src);
    Window w;
    shelltest::BoxCapture capture;
    w.SetRange({1, 2, 3, 4, 5, 6, 7, 8});
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {src}));
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(w.Field(1040), src);
    QCOMPARE(w.Field(1048), dir + "/Clip_extr.avi");
    QCOMPARE(w.Range(), (std::array<int, 8>{0, 0, 0, 0, 0, 0, 10, 0}));
    QCOMPARE(w.page->FrameRate(), 25.0);
    // A kind of file no page takes changes nothing.
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + "/notes.txt"}));
    QCOMPARE(w.Field(1040), src);

    w.SetRange({0, 0, 1, 0, 0, 0, 3, 0});
    QString infoWhileRunning;
    QTimer::singleShot(0, [&] {
        // Inside the run: the start fields already show the key frame.
        infoWhileRunning = w.Field(1034);
        QCOMPARE(w.Range(), (std::array<int, 8>{0, 0, 1, 600, 0, 0, 3, 0}));
        QVERIFY(w.page->Item<QPushButton>(1042)->isEnabled());
        QVERIFY(!w.page->Item<QPushButton>(1029)->isEnabled());
    });
    QTest::mouseClick(w.page->Item<QPushButton>(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(!infoWhileRunning.isEmpty());
    QCOMPARE(w.Field(1034), QString("100 %"));
    QCOMPARE(w.page->Item<QProgressBar>(1038)->value(), 100);
    QVERIFY(w.page->Item<QPushButton>(1029)->isEnabled());
    QVERIFY(!w.page->Item<QPushButton>(1042)->isEnabled());
    QCOMPARE(w.page->IsIdle(), 1);
    QCOMPARE(w.Range(), (std::array<int, 8>{0, 0, 1, 600, 0, 0, 3, 0}));

    const std::string out = (dir + "/Clip_extr.avi").toStdString();
    const auto want = trelvan::test::ProbePackets(src.toStdString(), "v:0");
    const auto got = trelvan::test::ProbePackets(out, "v:0");
    QCOMPARE(got.size(), size_t(36));  // frames 40..75
    for (size_t i = 0; i < got.size(); ++i) {
        QVERIFY(got[i].data == want[40 + i].data);
        QCOMPARE(got[i].key, want[40 + i].key);
    }
    size_t audio = 0;
    for (const auto& p : trelvan::test::ProbePackets(out, "a:0")) {
        audio += p.data.size();
    }
    QCOMPARE(audio, size_t(36 * 3528));

    // Start and end on the same frame: one frame, and 100 %.
    w.SetRange({0, 0, 2, 400, 0, 0, 2, 400});  // frame 60, a key frame
    QTest::mouseClick(w.page->Item<QPushButton>(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(w.Field(1034), QString("100 %"));
    QCOMPARE(trelvan::test::ProbePackets(out, "v:0").size(), size_t(1));
}

void AviExtractPageTest::errorsOfStart() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString src = dir + "/keep.avi";
    QFile::copy(KeyEvery20(), src);
    const std::vector<uint8_t> before = trelvan::test::ReadBytes(src.toStdString());
    Window w;
    shelltest::BoxCapture capture;
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {src}));
    struct Case {
        QString output;
        const char* caption;
    };
    const Case cases[] = {
        {src, "エラーNo.6006"},                    // the source itself
        {dir + "/./keep.avi", "エラーNo.6006"},    // spelled otherwise
        {dir + "/none/out.avi", "エラーNo.2001"},  // cannot be created
    };
    for (const Case& c : cases) {
        capture.boxes.clear();
        w.page->SetItemText(1048, c.output);
        QTest::mouseClick(w.page->Item<QPushButton>(1029), Qt::LeftButton);
        QCOMPARE(capture.boxes.size(), 1);
        QCOMPARE(capture.boxes[0].caption, QString::fromUtf8(c.caption));
        QCOMPARE(w.page->IsIdle(), 1);
        QVERIFY(w.page->Item<QPushButton>(1029)->isEnabled());
        QCOMPARE(w.Field(1034), QString("Info"));  // never entered the run
    }
    QCOMPARE(trelvan::test::ReadBytes(src.toStdString()), before);

    // A source that cannot be read: cleared paths, the reader's code, the
    // file below it (it is there: no reason from the system).
    capture.boxes.clear();
    trelvan::test::WriteBytes((dir + "/bad.avi").toStdString(), std::vector<uint8_t>(64, 'x'));
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + "/bad.avi"}));
    QCOMPARE(capture.boxes.size(), 1);
    QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.1002"));
    QCOMPARE(capture.boxes[0].text, "File opening failure\n\nFile: " + dir + "/bad.avi");
    QCOMPARE(w.Field(1040), QString());
    QCOMPARE(w.Field(1048), QString());
    QCOMPARE(w.Range(), (std::array<int, 8>{}));
}

void AviExtractPageTest::browseFilters() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString src = dir + "/chosen.avi";
    QFile::copy(KeyEvery20(), src);
    Window w;
    QStringList openFilters;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        openFilters = dialog->nameFilters();
        dialog->selectFile(src);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(w.page->Item<QPushButton>(1009), Qt::LeftButton);
    QCOMPARE(openFilters, QStringList({"AVI (*.avi)", "all (*.*)"}));
    QCOMPARE(w.Field(1040), src);
    QCOMPARE(w.Field(1048), dir + "/chosen_extr.avi");  // empty before: the default
    QCOMPARE(w.Field(1044), QString("10"));
    QStringList saveFilters;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        saveFilters = dialog->nameFilters();
        QMetaObject::invokeMethod(dialog, "reject");
    });
    QTest::mouseClick(w.page->Item<QPushButton>(1051), Qt::LeftButton);
    QCOMPARE(saveFilters, QStringList({"AVI (*.avi)"}));
    QCOMPARE(w.Field(1048), dir + "/chosen_extr.avi");
}

// The source stops being readable once its video is copied: the audio
// block that cannot be read is asked about (OK ends the audio copy), and the
// run ends as the user chose, with all the video.
void AviExtractPageTest::unreadableAudioAsksTheQuestion() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString src = dir + "/unplugged.avi";
    QFile::copy(KeyEvery20(), src);
    const struct {
        trelvan::LanguageChoice lang;
        const char* text;
    } questions[] = {
        {trelvan::LanguageChoice::English,
         "The Audio was failed in reading. \nDo you discontinue it?"},
        {trelvan::LanguageChoice::Japanese, "音声読み込み失敗しました\n中止しますか"},
    };
    for (const auto& q : questions) {
        trelvan::SetLanguageOverride(q.lang);
        Window w;
        shelltest::BoxCapture capture;
        QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {src}));
        const std::shared_ptr<bool> broken = shelltest::BreakReadsAfterVideo(w.page);
        QTest::mouseClick(w.page->Item<QPushButton>(1029), Qt::LeftButton);
        QVERIFY(*broken);
        QCOMPARE(capture.boxes.size(), 1);
        QVERIFY(capture.boxes[0].okCancel);
        QCOMPARE(capture.boxes[0].caption, QString("Trelvan+"));
        QCOMPARE(capture.boxes[0].text, QString::fromUtf8(q.text));
        QCOMPARE(capture.boxes[0].owner, static_cast<QWidget*>(w.page));
        QCOMPARE(w.Field(1034), QString("100 %"));  // OK: the run ends, not failed
        const std::string out = (dir + "/unplugged_extr.avi").toStdString();
        QCOMPARE(trelvan::test::ProbePackets(out, "v:0").size(), size_t(250));
        QVERIFY(trelvan::test::ProbePackets(out, "a:0").size() <
                trelvan::test::ProbePackets(src.toStdString(), "a:0").size());
    }
}

SHELL_TEST(AviExtractPageTest);
#include "AviExtractPageTest.moc"
