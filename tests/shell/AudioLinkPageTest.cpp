// The audio link page: labels, drops and the default output name, the list
// buttons, and real runs through the Link and Stop buttons.
#include <sys/stat.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ByteOrder.h"
#include "CColorButton.h"
#include "CDragListBoxEx.h"
#include "CTrelvanDlg.h"
#include "CWAVLinkerDlg.h"
#include "Fixtures.h"
#include "Language.h"
#include "Probe.h"
#include "ShellTestSupport.h"

namespace {

// Seconds of noise, 44,100 Hz, 16-bit stereo.
QString Pcm(int seconds, int seed) {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "pcm-" + std::to_string(seconds) + "s-" + std::to_string(seed),
        "-f lavfi -i anoisesrc=d=" + std::to_string(seconds) +
            ":r=44100:a=0.5:s=" + std::to_string(seed) + " -ac 2 -c:a pcm_s16le",
        "wav"));
}

// Data chunk size, fact value and RIFF size + 8 of a WAV file.
struct WavSizes {
    uint32_t data = 0xFFFFFFFFu;
    uint32_t fact = 0xFFFFFFFFu;
    uint32_t riff = 0;
};

WavSizes SizesOf(const QString& path) {
    const std::vector<uint8_t> b = trelvan::test::ReadBytes(path.toStdString());
    WavSizes s;
    for (size_t pos = 12; pos + 8 <= b.size();) {
        const std::string id(reinterpret_cast<const char*>(b.data() + pos), 4);
        const uint32_t size = trelvan::bytes::GetLE32(b.data() + pos + 4);
        if (id == "data") {
            s.data = size;
        } else if (id == "fact" && size >= 4 && pos + 12 <= b.size()) {
            s.fact = trelvan::bytes::GetLE32(b.data() + pos + 8);
        }
        pos += 8 + size + (size & 1);
    }
    s.riff = b.size() >= 8 ? trelvan::bytes::GetLE32(b.data() + 4) + 8 : 0;
    return s;
}

std::vector<uint8_t> AudioBytes(const QString& path) {
    std::vector<uint8_t> out;
    for (const auto& p : trelvan::test::ProbePackets(path.toStdString(), "a:0")) {
        out.insert(out.end(), p.data.begin(), p.data.end());
    }
    return out;
}

// The main window with the audio link page selected by its button.
struct Window {
    Window() {
        dlg.CreatePage(nullptr);
        dlg.show();
        QTest::mouseClick(dlg.PageButton(4), Qt::LeftButton);
        page = static_cast<CWAVLinkerDlg*>(dlg.Page(4));
    }
    QString Field(int id) const { return page->ItemText(id); }
    QPushButton* Button(int id) const { return page->Item<QPushButton>(id); }
    CDragListBoxEx* List() const { return page->Item<CDragListBoxEx>(1001); }
    // Drops on the page's group box (not on the list).
    bool Drop(const QStringList& files) { return shelltest::DropFiles(&dlg, QPoint(1, 1), files); }
    CTrelvanDlg dlg;
    CWAVLinkerDlg* page = nullptr;
};

}  // namespace

class AudioLinkPageTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void englishAndJapaneseLabels();
    void dropsAndDefaultOutput();
    void linkOneAndTwoSeconds();
    void errorsShownByLink();
    void stopDuringSecondOfFour();
};

void AudioLinkPageTest::englishAndJapaneseLabels() {
    struct Expect {
        int id;
        const char* english;
        const char* japanese;
    };
    const Expect expect[] = {
        {1049, "Input Src(Drag && Drop OK)",
         "連結するWAVソースを指定してください(ドラッグ&&ドロップ可)"},
        {1053, "Output Dst[WAV]", "出力ファイル名[WAV]"},
        {1055, "Progress", "進行状況"},
        {1034, "Info", "ソースと出力ファイル名を入れて、連結ボタンを押してください"},
        {1042, "Stop", "停止"},
        {1029, "Link", "連結"},
        {1007, "Del", "削除"},
        {1032, "Reset", "リセット"},
        {1066, "Add", "追加"},
        {1051, "...", "..."},
    };
    for (bool ja : {false, true}) {
        trelvan::SetLanguageOverride(ja ? trelvan::LanguageChoice::Japanese
                                        : trelvan::LanguageChoice::English);
        CTrelvanDlg dlg;
        dlg.CreatePage(nullptr);
        QVERIFY(dlg.PageButton(4)->isEnabled());
        auto* page = static_cast<CWAVLinkerDlg*>(dlg.Page(4));
        for (const Expect& e : expect) {
            QCOMPARE(page->ItemText(e.id), QString::fromUtf8(ja ? e.japanese : e.english));
        }
        QCOMPARE(page->BackgroundColour(), QColor(0x80, 0xFF, 0x80));
    }
}

void AudioLinkPageTest::dropsAndDefaultOutput() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    // a.WAV on an empty page: a_link.wav in the same folder; a second drop
    // leaves the name alone; other kinds are ignored.
    QVERIFY(w.Drop({dir + "/a.WAV"}));
    QCOMPARE(w.Field(1048), dir + "/a_link.wav");
    QVERIFY(w.Drop({dir + "/b.avi", dir + "/c.mp3", dir + "/d.wav"}));
    QCOMPARE(w.Field(1048), dir + "/a_link.wav");
    QCOMPARE(w.List()->Paths(), QStringList({dir + "/a.WAV", dir + "/b.avi", dir + "/d.wav"}));

    // Del removes the selected entry; Reset empties list and output.
    w.List()->setCurrentRow(1);
    QTest::mouseClick(w.Button(1007), Qt::LeftButton);
    QCOMPARE(w.List()->Paths(), QStringList({dir + "/a.WAV", dir + "/d.wav"}));
    QTest::mouseClick(w.Button(1032), Qt::LeftButton);
    QCOMPARE(w.List()->count(), 0);
    QCOMPARE(w.Field(1048), QString());

    // Dropped on the list itself: taken whatever the kind, output untouched.
    const QPoint onList = w.List()->mapTo(&w.dlg, w.List()->rect().center());
    QVERIFY(shelltest::DropFiles(&w.dlg, onList, {dir + "/notes.txt"}));
    QCOMPARE(w.List()->Paths(), QStringList({dir + "/notes.txt"}));
    QCOMPARE(w.Field(1048), QString());

    // Add: the WAV filter, files inserted at the selected entry, output
    // untouched.
    for (const char* name : {"e.wav", "f.avi"}) {
        trelvan::test::WriteBytes((dir + "/" + name).toStdString(), {0});
    }
    w.List()->AppendPath(dir + "/last.wav");
    w.List()->setCurrentRow(1);
    QStringList filters;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        filters = dialog->nameFilters();
        dialog->setDirectory(dir);
        dialog->selectFile("\"e.wav\" \"f.avi\"");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(w.Button(1066), Qt::LeftButton);
    QCOMPARE(filters, QStringList({"WAV (*.wav)"}));
    QCOMPARE(w.List()->count(), 4);
    QCOMPARE(w.List()->Paths().first(), dir + "/notes.txt");
    QCOMPARE(w.List()->Paths().last(), dir + "/last.wav");
    QCOMPARE(w.Field(1048), QString());
}

// 1 s + 2 s of 44,100 Hz 16-bit stereo: one 3-second file, 529,200 data
// bytes, fact 132,300, the sources' bytes in list order.
void AudioLinkPageTest::linkOneAndTwoSeconds() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString one = dir + "/one.wav";
    const QString two = dir + "/two.wav";
    QFile::copy(Pcm(1, 1), one);
    QFile::copy(Pcm(2, 2), two);
    Window w;
    shelltest::BoxCapture capture;
    QVERIFY(w.Drop({one, two}));
    const QString out = dir + "/one_link.wav";
    QCOMPARE(w.Field(1048), out);
    // An existing read-only output is replaced.
    trelvan::test::WriteBytes(out.toStdString(), {1, 2, 3});
    ::chmod(out.toLocal8Bit().constData(), 0444);
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(w.Field(1034), QString("100 %"));
    QCOMPARE(w.page->Item<QProgressBar>(1038)->value(), 100);
    QVERIFY(w.Button(1029)->isEnabled());
    QVERIFY(!w.Button(1042)->isEnabled());
    QCOMPARE(w.page->IsIdle(), 1);
    const WavSizes s = SizesOf(out);
    QCOMPARE(s.data, 529200u);
    QCOMPARE(s.fact, 132300u);
    QCOMPARE(qint64(s.riff), QFileInfo(out).size());
    std::vector<uint8_t> want = AudioBytes(one);
    const std::vector<uint8_t> second = AudioBytes(two);
    want.insert(want.end(), second.begin(), second.end());
    QVERIFY(AudioBytes(out) == want);

    // Link with an empty output field fills in the first entry's name.
    w.page->SetItemText(1048, "");
    QFile::remove(out);
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(w.Field(1048), out);
    QCOMPARE(SizesOf(out).data, 529200u);
}

void AudioLinkPageTest::errorsShownByLink() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString one = dir + "/one.wav";
    const QString two = dir + "/two.wav";
    QFile::copy(Pcm(1, 1), one);
    QFile::copy(Pcm(2, 2), two);
    const std::vector<uint8_t> before = trelvan::test::ReadBytes(two.toStdString());
    Window w;
    shelltest::BoxCapture capture;

    // Empty list and empty output: nothing at all.
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(w.Field(1048), QString());

    struct Case {
        const char* name;
        QStringList sources;
        QString output;
        const char* caption;
        QString below;  // what follows the code's text: the file, the reason
    };
    const QString missing = "\nNo such file or directory";
    const Case cases[] = {
        {"empty list, output typed", {}, dir + "/x.wav", "エラーNo.-001", {}},
        {"missing third entry", {one, two, dir + "/gone.wav"}, dir + "/x.wav", "エラーNo.1002",
         "\n\nEntry 3 of 3: " + dir + "/gone.wav" + missing},
        {"output is a source", {one, two}, dir + "/./two.wav", "エラーNo.6006",
         "\n\nFile: " + dir + "/./two.wav"},
        {"output cannot be made", {one}, dir + "/none/x.wav", "エラーNo.-005",
         "\n\nFile: " + dir + "/none/x.wav" + missing},
    };
    for (const Case& c : cases) {
        capture.boxes.clear();
        QTest::mouseClick(w.Button(1032), Qt::LeftButton);
        for (const QString& s : c.sources) {
            w.List()->AppendPath(s);
        }
        w.page->SetItemText(1048, c.output);
        QTest::mouseClick(w.Button(1029), Qt::LeftButton);
        QVERIFY2(capture.boxes.size() == 1, c.name);
        QCOMPARE(capture.boxes[0].caption, QString::fromUtf8(c.caption));
        const QString text = capture.boxes[0].text;
        QCOMPARE(text.indexOf('\n') < 0 ? QString() : text.mid(text.indexOf('\n')), c.below);
        QCOMPARE(w.Field(1034), QString("Info"));                 // never entered the run
        QVERIFY(w.Button(1029)->isEnabled());
        QVERIFY2(!QFileInfo::exists(dir + "/x.wav"), c.name);  // nothing written
    }
    QCOMPARE(trelvan::test::ReadBytes(two.toStdString()), before);
}

// Stop during the second of four sources: the Info line reads " 2/ 4  25 %",
// Link is enabled at once but refused until the stopped run has returned, and
// the output holds a valid header for what was written, without 100 %.
void AudioLinkPageTest::stopDuringSecondOfFour() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    Window w;
    shelltest::BoxCapture capture;
    for (int i = 0; i < 4; ++i) {
        w.List()->AppendPath(Pcm(2, 10 + i));
    }
    const QString out = dir + "/stopped.wav";
    w.page->SetItemText(1048, out);
    QString infoDuringSecond;
    bool linkEnabledAfterStop = false;
    bool stillLinkingAfterSecondPress = false;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (w.page->Context().item.load() != 1 || !infoDuringSecond.isEmpty()) {
            return;
        }
        poll.stop();
        w.page->RefreshProgress();
        infoDuringSecond = w.Field(1034);
        QTest::mouseClick(w.Button(1042), Qt::LeftButton);
        linkEnabledAfterStop = w.Button(1029)->isEnabled() && !w.Button(1042)->isEnabled();
        // Pressed again while the stopped run unwinds: refused.
        QTest::mouseClick(w.Button(1029), Qt::LeftButton);
        stillLinkingAfterSecondPress = w.page->Linking() && w.page->IsIdle() == 0;
    });
    poll.start();
    QTest::mouseClick(w.Button(1029), Qt::LeftButton);
    QVERIFY(infoDuringSecond.startsWith(" 2/ 4  25 %"));
    QVERIFY(infoDuringSecond.endsWith(")"));
    QVERIFY(linkEnabledAfterStop);
    QVERIFY(stillLinkingAfterSecondPress);
    QVERIFY(!w.page->Linking());
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(w.Field(1034) != QString("100 %"));
    QVERIFY(w.Button(1029)->isEnabled());
    QCOMPARE(w.page->IsIdle(), 1);
    const WavSizes s = SizesOf(out);
    QVERIFY(s.data > 352800u);
    QVERIFY(s.data < 2u * 352800u);
    QCOMPARE(s.fact, s.data / 4);
    QCOMPARE(qint64(s.riff), QFileInfo(out).size());
    QVERIFY(trelvan::test::DecodesCleanly(out.toStdString()));
}

SHELL_TEST(AudioLinkPageTest);
#include "AudioLinkPageTest.moc"
