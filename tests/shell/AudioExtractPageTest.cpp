// The audio extract page: labels, drops, the range fields, real runs.
#include <sys/stat.h>

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ByteOrder.h"
#include "CColorButton.h"
#include "CTrelvanDlg.h"
#include "CWAVExtract.h"
#include "Fixtures.h"
#include "Language.h"
#include "Probe.h"
#include "ShellTestSupport.h"

namespace {

// 10 s of noise, 44,100 Hz, 16-bit stereo.
QString TenSecondPcm() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "ten-seconds", "-f lavfi -i anoisesrc=d=10:r=44100:a=0.5:s=7 -ac 2 -c:a pcm_s16le", "wav"));
}

// 60 s of the same kind, for runs long enough to be stopped.
QString MinutePcm() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "minute", "-f lavfi -i anoisesrc=d=60:r=44100:a=0.5:s=9 -ac 2 -c:a pcm_s16le", "wav"));
}

std::vector<uint8_t> AllBytes(const std::vector<trelvan::test::ProbedPacket>& packets) {
    std::vector<uint8_t> out;
    for (const auto& p : packets) {
        out.insert(out.end(), p.data.begin(), p.data.end());
    }
    return out;
}

// Size field of the data chunk and the RIFF size + 8 of a WAV file.
std::pair<uint32_t, uint32_t> DataAndRiff(const QString& path) {
    const std::vector<uint8_t> b = trelvan::test::ReadBytes(path.toStdString());
    uint32_t data = 0xFFFFFFFFu;
    for (size_t pos = 12; pos + 8 <= b.size();) {
        const uint32_t size = trelvan::bytes::GetLE32(b.data() + pos + 4);
        if (std::string(reinterpret_cast<const char*>(b.data() + pos), 4) == "data") {
            data = size;
        }
        pos += 8 + size + (size & 1);
    }
    return {data, b.size() >= 8 ? trelvan::bytes::GetLE32(b.data() + 4) + 8 : 0};
}

// The main window with the audio extract page selected by its button.
struct Window {
    Window() {
        dlg.CreatePage(nullptr);
        dlg.show();
        QTest::mouseClick(dlg.PageButton(5), Qt::LeftButton);
        page = static_cast<CWAVExtract*>(dlg.Page(5));
    }
    // Types the eight range fields.
    void SetRange(std::array<int, 8> values) {
        for (size_t i = 0; i < 8; ++i) {
            auto* field = page->Item<QLineEdit>(CWAVExtract::kRangeIds[i]);
            field->clear();
            QTest::keyClicks(field, QString::number(values[i]));
        }
    }
    QString Field(int id) const { return page->ItemText(id); }
    CTrelvanDlg dlg;
    CWAVExtract* page = nullptr;
};

}  // namespace

class AudioExtractPageTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void englishAndJapaneseLabels();
    void dropLoadsLengthAndProposesOutput();
    void realRunByClickingStart();
    void stopLeavesShorterFileWithoutHundredPercent();
    void closeRefusedDuringRun();
    void errorsOfStart();
    void browseKeepsTypedOutput();
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

void AudioExtractPageTest::dropLoadsLengthAndProposesOutput() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString upper = dir + "/Loud.WAV";
    QFile::copy(TenSecondPcm(), upper);
    Window w;
    shelltest::BoxCapture capture;
    w.SetRange({1, 2, 3, 4, 5, 6, 7, 8});
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {upper}));
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(w.Field(1040), upper);
    QCOMPARE(w.Field(1048), dir + "/Loud_extr.wav");
    // Milliseconds with their leading zeros.
    const char* const expect[8] = {"0", "0", "0", "000", "0", "0", "10", "000"};
    for (size_t i = 0; i < 8; ++i) {
        QCOMPARE(w.Field(CWAVExtract::kRangeIds[i]), QString(expect[i]));
    }
    // A kind no page takes changes nothing; a bad .avi clears the paths and
    // shows the reader's code, the file below it.
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + "/song.mp3"}));
    QCOMPARE(w.Field(1040), upper);
    trelvan::test::WriteBytes((dir + "/bad.AVI").toStdString(), std::vector<uint8_t>(64, 'x'));
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {dir + "/bad.AVI"}));
    QCOMPARE(capture.boxes.size(), 1);
    QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.1002"));
    QVERIFY2(capture.boxes[0].text.endsWith("\n\nFile: " + dir + "/bad.AVI"),
             qPrintable(capture.boxes[0].text));
    QCOMPARE(w.Field(1040), QString());
    QCOMPARE(w.Field(1048), QString());
    QCOMPARE(w.Field(1046), QString("000"));
}

// The 10-second PCM case: 0:0:2.500 to 0:0:5.000 gives 441,000 data bytes,
// the source's own from sample 110,250 on.
void AudioExtractPageTest::realRunByClickingStart() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString src = dir + "/ten.wav";
    QFile::copy(TenSecondPcm(), src);
    Window w;
    shelltest::BoxCapture capture;
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {src}));
    w.SetRange({0, 0, 2, 500, 0, 0, 5, 0});
    // An existing read-only output is replaced.
    const QString out = dir + "/ten_extr.wav";
    trelvan::test::WriteBytes(out.toStdString(), {1, 2, 3});
    ::chmod(out.toLocal8Bit().constData(), 0444);
    QTest::mouseClick(w.page->Item<QPushButton>(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(w.Field(1034), QString("100 %"));
    QCOMPARE(w.page->Item<QProgressBar>(1038)->value(), 100);
    QVERIFY(w.page->Item<QPushButton>(1029)->isEnabled());
    QVERIFY(!w.page->Item<QPushButton>(1042)->isEnabled());
    QCOMPARE(w.page->IsIdle(), 1);
    const auto [data, riff] = DataAndRiff(out);
    QCOMPARE(data, 441000u);
    QCOMPARE(qint64(riff), QFileInfo(out).size());
    const std::vector<uint8_t> all =
        AllBytes(trelvan::test::ProbePackets(src.toStdString(), "a:0"));
    const std::vector<uint8_t> got =
        AllBytes(trelvan::test::ProbePackets(out.toStdString(), "a:0"));
    QCOMPARE(got.size(), size_t(441000));
    QVERIFY(std::equal(got.begin(), got.end(), all.begin() + 110250 * 4));

    // Start with an empty output field fills in the default name first.
    w.page->SetItemText(1048, "");
    w.SetRange({0, 0, 0, 0, 0, 0, 1, 0});
    QTest::mouseClick(w.page->Item<QPushButton>(1029), Qt::LeftButton);
    QCOMPARE(w.Field(1048), out);
    QCOMPARE(DataAndRiff(out).first, 176400u);
}

void AudioExtractPageTest::stopLeavesShorterFileWithoutHundredPercent() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    shelltest::BoxCapture capture;
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {MinutePcm()}));
    const QString out = dir + "/stopped.wav";
    w.page->SetItemText(1048, out);
    bool clicked = false;
    // Runs inside the page's event pump after the first block.
    QTimer::singleShot(0, [&] {
        auto* stop = w.page->Item<QPushButton>(1042);
        QVERIFY(stop->isEnabled());
        QVERIFY(!w.page->Item<QPushButton>(1029)->isEnabled());
        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(!stop->isEnabled());
        clicked = true;
    });
    QTest::mouseClick(w.page->Item<QPushButton>(1029), Qt::LeftButton);
    QVERIFY(clicked);
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(w.Field(1034) != QString("100 %"));
    QVERIFY(w.page->Item<QProgressBar>(1038)->value() < 100);
    QVERIFY(w.page->Item<QPushButton>(1029)->isEnabled());
    QCOMPARE(w.page->IsIdle(), 1);
    const auto [data, riff] = DataAndRiff(out);
    QVERIFY(data > 0);
    QVERIFY(data < 60u * 176400u);
    QCOMPARE(data % 4, 0u);
    QCOMPARE(qint64(riff), QFileInfo(out).size());
    QVERIFY(trelvan::test::DecodesCleanly(out.toStdString()));
}

void AudioExtractPageTest::closeRefusedDuringRun() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    shelltest::BoxCapture capture;
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {MinutePcm()}));
    w.page->SetItemText(1048, dir + "/busy.wav");
    QTimer::singleShot(0, [&] {
        // During the run: the caption's close button is refused.
        QTest::mouseClick(&w.dlg, Qt::LeftButton, Qt::NoModifier,
                          w.dlg.ButtonRect(CBaseFrameColorDialog::kClose).center());
        QVERIFY(w.dlg.isVisible());
        QTest::mouseClick(w.page->Item<QPushButton>(1042), Qt::LeftButton);
    });
    QTest::mouseClick(w.page->Item<QPushButton>(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 1);
    QCOMPARE(capture.boxes[0].text, QString("Audio Extra Going"));
    QVERIFY(w.dlg.isVisible());
    // Idle again: the close goes ahead.
    QTest::mouseClick(&w.dlg, Qt::LeftButton, Qt::NoModifier,
                      w.dlg.ButtonRect(CBaseFrameColorDialog::kClose).center());
    QVERIFY(!w.dlg.isVisible());
}

void AudioExtractPageTest::errorsOfStart() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString src = dir + "/keep.wav";
    QFile::copy(TenSecondPcm(), src);
    const std::vector<uint8_t> before = trelvan::test::ReadBytes(src.toStdString());
    Window w;
    shelltest::BoxCapture capture;
    QVERIFY(shelltest::DropFiles(&w.dlg, QPoint(1, 1), {src}));
    struct Case {
        QString output;
        const char* caption;
        bool detail;
    };
    const Case cases[] = {
        {src, "エラーNo.6006", false},                    // the source itself
        {dir + "/./keep.wav", "エラーNo.6006", false},    // spelled otherwise
        {dir + "/none/out.wav", "エラーNo.-005", false},  // cannot be created
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

    // An empty source: the reader's code, with the source as detail.
    capture.boxes.clear();
    w.page->SetItemText(1040, dir + "/gone.wav");
    w.page->SetItemText(1048, dir + "/o.wav");
    QTest::mouseClick(w.page->Item<QPushButton>(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 1);
    QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.1002"));
    QVERIFY(capture.boxes[0].text.startsWith(dir + "/gone.wav\n"));
}

void AudioExtractPageTest::browseKeepsTypedOutput() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString src = dir + "/chosen.wav";
    QFile::copy(TenSecondPcm(), src);
    Window w;
    w.page->SetItemText(1048, dir + "/mine.wav");
    QStringList filters;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        filters = dialog->nameFilters();
        dialog->selectFile(src);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(w.page->Item<QPushButton>(1009), Qt::LeftButton);
    QCOMPARE(filters, QStringList({"WAV-Audio (*.wav *.avi)", "all (*.*)"}));
    QCOMPARE(w.Field(1040), src);
    QCOMPARE(w.Field(1048), dir + "/mine.wav");  // kept
    QCOMPARE(w.Field(1044), QString("10"));
}

SHELL_TEST(AudioExtractPageTest);
#include "AudioExtractPageTest.moc"
