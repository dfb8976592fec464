// The AVI separate and unite pages: labels, drops, default names, real runs
// by clicking their buttons, Stop, and the failures they show.
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "CAVICreatorDlg.h"
#include "CAVICutterDlg.h"
#include "CColorButton.h"
#include "CTrelvanDlg.h"
#include "Fixtures.h"
#include "Language.h"
#include "Probe.h"
#include "ShellTestSupport.h"

namespace {

// MPEG-4 with B-frames and 16-bit PCM, two seconds.
QString MovieSource() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "page-sep-movie",
        "-f lavfi -i testsrc=d=2:s=160x120:r=25 -f lavfi -i sine=d=2:f=440:r=44100 -c:v mpeg4 "
        "-bf 2 -g 12 -c:a pcm_s16le -f avi",
        "avi"));
}

// Uncompressed and long enough for the save to be stopped on its way.
QString LargeSource() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "page-sep-large",
        "-f lavfi -i testsrc=d=8:s=320x240:r=25 -f lavfi -i sine=d=8:f=440:r=44100 -c:v rawvideo "
        "-pix_fmt bgr24 -c:a pcm_s16le -f avi",
        "avi"));
}

QString ToneWav() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "page-unite-tone", "-f lavfi -i sine=d=3:f=660:r=22050 -c:a adpcm_ima_wav", "wav"));
}

std::vector<uint8_t> AllBytes(const std::vector<trelvan::test::ProbedPacket>& packets) {
    std::vector<uint8_t> out;
    for (const auto& p : packets) {
        out.insert(out.end(), p.data.begin(), p.data.end());
    }
    return out;
}

bool SamePackets(const QString& a, const QString& b, const char* sel) {
    const auto pa = trelvan::test::ProbePackets(a.toStdString(), sel);
    const auto pb = trelvan::test::ProbePackets(b.toStdString(), sel);
    if (pa.size() != pb.size() || pa.empty()) {
        return false;
    }
    for (size_t i = 0; i < pa.size(); ++i) {
        if (pa[i].data != pb[i].data || pa[i].key != pb[i].key) {
            return false;
        }
    }
    return true;
}

// The main window with page `index` selected by its button.
template <class Page>
struct Window {
    explicit Window(int index) {
        dlg.CreatePage(nullptr);
        dlg.show();
        QTest::mouseClick(dlg.PageButton(index), Qt::LeftButton);
        page = static_cast<Page*>(dlg.Page(index));
    }
    QString Field(int id) const { return page->ItemText(id); }
    void Click(int id) { QTest::mouseClick(page->template Item<QPushButton>(id), Qt::LeftButton); }
    CTrelvanDlg dlg;
    Page* page = nullptr;
};

struct Label {
    int id;
    const char* english;
    const char* japanese;
};

}  // namespace

class SeparateUnitePagesTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void labelsInBothLanguages();
    void separateDropsAndDefaultNames();
    void separateVideoCutAndAudioCut();
    void separateStopShows103();
    void separateRefusesTheSourceAsOutput();
    void separateBrowseFilters();
    void uniteDropsAndRun();
    void uniteFailures();
};

void SeparateUnitePagesTest::labelsInBothLanguages() {
    const Label separate[] = {
        {1049, "Input Src(Drag && Drop OK)", "ソースを指定してください(ドラッグ&&ドロップ可)"},
        {1050, "Movie Src[AVI]", "映像ソース[AVI]"},
        {1057, "Output Dst[AVI or WAV]", "出力ファイル名[AVI or WAV]"},
        {1055, "Progress", "進行状況"},
        {1034, "Info", "ソースと出力ファイル名を入れて、切出ボタンを押してください"},
        {1042, "Stop", "停止"},
        {1030, "Video Cut", "映像切り出し"},
        {1036, "Audio Cut", "音声切り出し"},
    };
    const Label unite[] = {
        {1049, "Input Src(Drag && Drop OK)", "ソースを指定してください(ドラッグ&&ドロップ可)"},
        {1050, "Video Src[AVI]", "映像ソース[AVI]"},
        {1052, "Audio Src[AVI or WAV]", "音声ソース[AVI or WAV]"},
        {1053, "Output Dst[AVI]", "出力ファイル名[AVI]"},
        {1055, "Progress", "進行状況"},
        {1034, "Info", "ソースと出力ファイル名を入れて、合体ボタンを押してください"},
        {1042, "Stop", "停止"},
        {1029, "Comb", "合体"},
    };
    for (bool ja : {false, true}) {
        trelvan::SetLanguageOverride(ja ? trelvan::LanguageChoice::Japanese
                                        : trelvan::LanguageChoice::English);
        CTrelvanDlg dlg;
        dlg.CreatePage(nullptr);
        QVERIFY(dlg.PageButton(0)->isEnabled());
        QVERIFY(dlg.PageButton(1)->isEnabled());
        for (const Label& l : separate) {
            QCOMPARE(static_cast<CAVICutterDlg*>(dlg.Page(0))->ItemText(l.id),
                     QString::fromUtf8(ja ? l.japanese : l.english));
        }
        for (const Label& l : unite) {
            QCOMPARE(static_cast<CAVICreatorDlg*>(dlg.Page(1))->ItemText(l.id),
                     QString::fromUtf8(ja ? l.japanese : l.english));
        }
    }
}

void SeparateUnitePagesTest::separateDropsAndDefaultNames() {
    Window<CAVICutterDlg> w(0);
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + "/x.AVI"}));
    QCOMPARE(w.Field(1003), dir + "/x.AVI");
    QCOMPARE(w.Field(1053), dir + "/x_cut.avi");
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + "/x.txt"}));
    QCOMPARE(w.Field(1003), dir + "/x.AVI");
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + "/song.wav"}));
    QCOMPARE(w.Field(1003), dir + "/song.wav");
    QCOMPARE(w.Field(1053), dir + "/song_cut.wav");
}

// Both commands with an empty output field and with an output named *.mpg.
void SeparateUnitePagesTest::separateVideoCutAndAudioCut() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString src = dir + "/movie.avi";
    QVERIFY(QFile::copy(MovieSource(), src));
    Window<CAVICutterDlg> w(0);
    shelltest::BoxCapture capture;
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {src}));

    w.page->SetItemText(1053, "");
    w.Click(1030);
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(w.Field(1053), dir + "/movie_cut.avi");
    QCOMPARE(w.Field(1034), QString("100 %"));
    QCOMPARE(w.page->Item<QProgressBar>(1038)->value(), 100);
    QVERIFY(w.page->Item<QPushButton>(1030)->isEnabled());
    QVERIFY(w.page->Item<QPushButton>(1036)->isEnabled());
    QVERIFY(!w.page->Item<QPushButton>(1042)->isEnabled());
    QCOMPARE(w.page->IsIdle(), 1);
    QVERIFY(SamePackets(src, dir + "/movie_cut.avi", "v:0"));
    QCOMPARE(trelvan::test::ProbeStreamCount((dir + "/movie_cut.avi").toStdString(), 'a'), 0);

    w.page->SetItemText(1053, "");
    w.Click(1036);
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(w.Field(1053), dir + "/movie_cut.wav");
    QCOMPARE(w.Field(1034), QString("100 %"));
    QVERIFY(AllBytes(trelvan::test::ProbePackets(src.toStdString(), "a:0")) ==
            AllBytes(trelvan::test::ProbePackets((dir + "/movie_cut.wav").toStdString(), "a:0")));

    // movie.mpg becomes movie.avi for Video Cut and movie.wav for Audio Cut.
    w.page->SetItemText(1053, dir + "/clip.mpg");
    w.Click(1030);
    QCOMPARE(w.Field(1053), dir + "/clip.avi");
    QVERIFY(SamePackets(src, dir + "/clip.avi", "v:0"));
    w.page->SetItemText(1053, dir + "/clip.mpg");
    w.Click(1036);
    QCOMPARE(w.Field(1053), dir + "/clip.wav");
    QVERIFY(QFileInfo(dir + "/clip.wav").size() > 0);
    QCOMPARE(capture.boxes.size(), 0);
    // No temporary file is left beside the outputs.
    QCOMPARE(QDir(dir).entryList(QDir::Hidden | QDir::Files).filter(QRegularExpression("^\\.")),
             QStringList());
}

void SeparateUnitePagesTest::separateStopShows103() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window<CAVICutterDlg> w(0);
    shelltest::BoxCapture capture;
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {LargeSource()}));
    const QString out = dir + "/stopped.avi";
    w.page->SetItemText(1053, out);
    bool clicked = false;
    // Runs inside the save's progress callback, which pumps events.
    QTimer::singleShot(0, [&] {
        auto* stop = w.page->Item<QPushButton>(1042);
        QVERIFY(stop->isEnabled());
        QVERIFY(!w.page->Item<QPushButton>(1030)->isEnabled());
        QVERIFY(!w.page->Item<QPushButton>(1036)->isEnabled());
        QVERIFY(w.page->DisplayTimer().isActive());
        QCOMPARE(w.page->DisplayTimer().interval(), 1000);
        QTest::mouseClick(stop, Qt::LeftButton);
        QCOMPARE(w.page->IsIdle(), 0);  // the save has not returned yet
        clicked = true;
    });
    w.Click(1030);
    QVERIFY(clicked);
    QCOMPARE(capture.boxes.size(), 1);
    QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.0103"));
    QVERIFY(w.Field(1034) != QString("100 %"));
    QVERIFY(w.page->Item<QProgressBar>(1038)->value() < 100);
    QVERIFY(w.page->Item<QPushButton>(1030)->isEnabled());
    QCOMPARE(w.page->IsIdle(), 1);
    QVERIFY(QFileInfo::exists(out));  // what was saved is kept

    // The display: the percent form of the Info line.
    w.page->Context().percent = 42;
    w.page->RefreshProgress();
    QVERIFY(w.Field(1034).startsWith(" 42 % ("));
}

void SeparateUnitePagesTest::separateRefusesTheSourceAsOutput() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString src = dir + "/keep.avi";
    QVERIFY(QFile::copy(MovieSource(), src));
    const std::vector<uint8_t> before = trelvan::test::ReadBytes(src.toStdString());
    Window<CAVICutterDlg> w(0);
    shelltest::BoxCapture capture;
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {src}));
    for (const QString& output : {src, dir + "/./keep.avi"}) {
        capture.boxes.clear();
        w.page->SetItemText(1053, output);
        w.Click(1030);
        QCOMPARE(capture.boxes.size(), 1);
        QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.6006"));
        QCOMPARE(w.page->IsIdle(), 1);
        QVERIFY(w.page->Item<QPushButton>(1030)->isEnabled());
    }
    QCOMPARE(trelvan::test::ReadBytes(src.toStdString()), before);
    // A source the reader cannot open: its code, the file and the reason.
    capture.boxes.clear();
    w.page->SetItemText(1003, dir + "/gone.avi");
    w.page->SetItemText(1053, dir + "/o.avi");
    w.Click(1036);
    QCOMPARE(capture.boxes.size(), 1);
    QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.1002"));
    QCOMPARE(capture.boxes[0].text, "File opening failure\n\nFile: " + dir +
                                        "/gone.avi\nNo such file or directory");
    QCOMPARE(w.Field(1034), QString("  0 %"));
}

void SeparateUnitePagesTest::separateBrowseFilters() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString src = dir + "/chosen.avi";
    QVERIFY(QFile::copy(MovieSource(), src));
    Window<CAVICutterDlg> w(0);
    QStringList filters;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        filters = dialog->nameFilters();
        dialog->selectFile(src);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    w.Click(1011);
    QCOMPARE(filters, QStringList({"AVI (*.avi)", "WAV-Audio (*.wav *.avi)", "all (*.*)"}));
    QCOMPARE(w.Field(1003), src);
    QCOMPARE(w.Field(1053), dir + "/chosen_cut.avi");
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        filters = dialog->nameFilters();
        QMetaObject::invokeMethod(dialog, "reject");
    });
    w.Click(1056);
    QCOMPARE(filters, QStringList({"AVI (*.avi)", "WAV (*.wav)"}));
    QCOMPARE(w.Field(1053), dir + "/chosen_cut.avi");
}

void SeparateUnitePagesTest::uniteDropsAndRun() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString video = dir + "/movie.avi";
    const QString audio = dir + "/tone.WAV";
    QVERIFY(QFile::copy(MovieSource(), video));
    QVERIFY(QFile::copy(ToneWav(), audio));
    Window<CAVICreatorDlg> w(1);
    shelltest::BoxCapture capture;
    w.page->SetItemText(1048, dir + "/earlier.avi");
    // A WAV file fills the audio source only; an AVI file the video source
    // and, always, the output.
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {audio}));
    QCOMPARE(w.Field(1020), audio);
    QCOMPARE(w.Field(1040), QString());
    QCOMPARE(w.Field(1048), dir + "/earlier.avi");
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {video, dir + "/notes.txt"}));
    QCOMPARE(w.Field(1040), video);
    QCOMPARE(w.Field(1048), dir + "/movie_comb.avi");
    QCOMPARE(w.Field(1020), audio);

    // An output named clip.mpg keeps its name; the file is an AVI file.
    w.page->SetItemText(1048, dir + "/clip.mpg");
    w.Click(1029);
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(w.Field(1048), dir + "/clip.mpg");
    QCOMPARE(w.Field(1034), QString("100 %"));
    QCOMPARE(w.page->Item<QProgressBar>(1038)->value(), 100);
    QCOMPARE(w.page->IsIdle(), 1);
    const QString out = dir + "/clip.mpg";
    QVERIFY(SamePackets(video, out, "v:0"));
    QVERIFY(AllBytes(trelvan::test::ProbePackets(audio.toStdString(), "a:0")) ==
            AllBytes(trelvan::test::ProbePackets(out.toStdString(), "a:0")));
    QVERIFY(trelvan::test::DecodesCleanly(out.toStdString()));

    // An empty output field gets the video source's stem + "_comb.avi".
    w.page->SetItemText(1048, "");
    w.Click(1029);
    QCOMPARE(w.Field(1048), dir + "/movie_comb.avi");
    QVERIFY(SamePackets(video, dir + "/movie_comb.avi", "v:0"));
}

void SeparateUnitePagesTest::uniteFailures() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString video = dir + "/movie.avi";
    const QString audio = dir + "/tone.wav";
    QVERIFY(QFile::copy(LargeSource(), video));
    QVERIFY(QFile::copy(ToneWav(), audio));
    Window<CAVICreatorDlg> w(1);
    shelltest::BoxCapture capture;
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {video, audio}));
    struct Case {
        QString audio, output;
        const char* caption;
    };
    const Case cases[] = {
        {audio, audio, "エラーNo.6006"},                       // the audio source as output
        {dir + "/none.wav", dir + "/o.avi", "エラーNo.1002"},  // no audio source
        {video, dir + "/none/o.avi", "エラーNo.6006"},         // no folder for the file
    };
    for (const Case& c : cases) {
        capture.boxes.clear();
        w.page->SetItemText(1020, c.audio);
        w.page->SetItemText(1048, c.output);
        w.Click(1029);
        QCOMPARE(capture.boxes.size(), 1);
        QCOMPARE(capture.boxes[0].caption, QString::fromUtf8(c.caption));
        QCOMPARE(w.page->IsIdle(), 1);
        QVERIFY(w.page->Item<QPushButton>(1029)->isEnabled());
        QVERIFY(w.Field(1034) != QString("100 %"));
    }
    QVERIFY(QFileInfo(audio).size() > 0);

    // Stop during the save.
    capture.boxes.clear();
    w.page->SetItemText(1020, audio);
    w.page->SetItemText(1048, dir + "/stopped.avi");
    QTimer::singleShot(0, [&] {
        QVERIFY(!w.page->Item<QPushButton>(1029)->isEnabled());
        QTest::mouseClick(w.page->Item<QPushButton>(1042), Qt::LeftButton);
    });
    w.Click(1029);
    QCOMPARE(capture.boxes.size(), 1);
    QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.0103"));
    QVERIFY(w.Field(1034) != QString("100 %"));
    QVERIFY(w.page->Item<QPushButton>(1029)->isEnabled());
}

SHELL_TEST(SeparateUnitePagesTest);
#include "SeparateUnitePagesTest.moc"
