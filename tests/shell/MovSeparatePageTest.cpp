// The MOV separate page: labels, drops of every movie kind, the movie file
// dialogs of the four MOV pages, output names that follow the command, runs
// checked by Verify, and failures in the error box with the movie layer's
// message naming the file.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "CAVIBase.h"
#include "CColorButton.h"
#include "Fixtures.h"
#include "Language.h"
#include "MovOperations.h"
#include "MovResult.h"
#include "ShellTestSupport.h"

using shelltest::PageWindow;

namespace {

std::string SeparateName(const QString& source, trelvan::MovTrackKind kind) {
    trelvan::MovSeparateJob job;
    job.source = source.toStdString();
    job.kind = kind;
    return trelvan::MovSeparateOutputName(job);
}

// The box of a failed run names `file` with the movie layer's message.
void ExpectFailureBox(const shelltest::BoxCapture& capture, const QString& file) {
    QCOMPARE(capture.boxes.size(), 1);
    trelvan::MovOpResult r;
    r.code = shelltest::BoxCode(capture.boxes[0]);
    QVERIFY(r.code != 0);
    QCOMPARE(capture.boxes[0].text,
             QString::fromStdString(trelvan::MovOpErrorText(r, file.toStdString(), false)));
}

}  // namespace

class MovSeparatePageTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() {
        trelvan::SetLanguageOverride(trelvan::LanguageChoice::System);
        shelltest::ClearPageSettings();
    }
    void labelsAndDrops();
    void dialogsOfferEveryMovieKind();
    void cutsNameTheirOutputAndVerify();
    void failuresNameTheirFile();
};

void MovSeparatePageTest::labelsAndDrops() {
    shelltest::ExpectCaptions(
        shelltest::kMovSeparate,
        {{1050, "Movie Src[MOV]", "映像ソース[MOV]"},
         {1057, "Output Dst[MOV or M4A]", "出力ファイル名[MOV or M4A]"},
         {1030, "Video Cut", "映像切り出し"},
         {1036, "Audio Cut", "音声切り出し"},
         {1034, "Info", "ソースと出力ファイル名を入れて、切出ボタンを押してください"}});
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    PageWindow w(shelltest::kMovSeparate);
    QVERIFY(w.Drop(dir + "/notes.avi"));
    QCOMPARE(w.Field(1003), QString());
    for (const char* name : {"a.MOV", "b.mp4", "c.m4v", "d.M4A", "e.3gp"}) {
        const QString path = dir + "/" + name;
        QVERIFY(w.Drop(path));
        QCOMPARE(w.Field(1003), path);
        QCOMPARE(w.Field(1053), dir + "/" + QString(name).left(1) + "_cut.mov");
    }
}

// Every browse button of the MOV pages opens its dialog on the movie kinds
// (then the entry for all files, in Open dialogs).
void MovSeparatePageTest::dialogsOfferEveryMovieKind() {
    const QString movies = "MOV/MP4 (*.mov *.mp4 *.m4v *.m4a *.3gp)";
    const struct {
        int page;
        QList<int> buttons;
    } pages[] = {{shelltest::kMovSeparate, {1011, 1056}},
                 {shelltest::kMovUnite, {1009, 1026, 1051}},
                 {shelltest::kMovLink, {1066, 1051}},
                 {shelltest::kMovExtract, {1009, 1051}}};
    for (const auto& p : pages) {
        PageWindow w(p.page);
        for (int id : p.buttons) {
            QStringList filters;
            QTimer::singleShot(0, [&filters] {
                if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                    filters = d->nameFilters();
                    d->reject();
                }
            });
            w.Click(id);
            QVERIFY2(!filters.isEmpty() && filters[0] == movies,
                     qPrintable(QString("page %1, button %2").arg(p.page).arg(id)));
        }
    }
}

void MovSeparatePageTest::cutsNameTheirOutputAndVerify() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString source = dir + "/clip.mov";
    QVERIFY(QFile::copy(shelltest::MovieWithSound(), source));
    PageWindow w(shelltest::kMovSeparate);
    shelltest::BoxCapture capture;
    w.page->VerifyBox()->setChecked(true);
    QVERIFY(w.Drop(source));
    // Each command proposes its own name while the field holds a proposal.
    const struct {
        int button;
        trelvan::MovTrackKind kind;
    } cuts[] = {{1036, trelvan::MovTrackKind::Sound}, {1030, trelvan::MovTrackKind::Video}};
    static const QRegularExpression kVerified("^Verified: .+ identical$");
    for (const auto& cut : cuts) {
        w.Click(cut.button);
        const QString output = QString::fromStdString(SeparateName(source, cut.kind));
        QCOMPARE(w.Field(1053), output);
        QCOMPARE(w.page->IsIdle(), 1);
        QVERIFY(w.page->Item<QPushButton>(cut.button)->isEnabled());
        QVERIFY(!w.page->Item<QPushButton>(1042)->isEnabled());
        QCOMPARE(capture.boxes.size(), 0);
        QVERIFY2(kVerified.match(w.Field(1034)).hasMatch(), qPrintable(w.Field(1034)));
        QVERIFY(std::filesystem::exists(output.toStdString()));
    }
    // A name the user gave stays as it is.
    w.page->SetItemText(1053, dir + "/mine.mov");
    w.Click(1036);
    QCOMPARE(w.Field(1053), dir + "/mine.mov");
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(std::filesystem::exists((dir + "/mine.mov").toStdString()));
}

void MovSeparatePageTest::failuresNameTheirFile() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString silent = dir + "/silent.mov", bad = dir + "/bad.mov";
    QVERIFY(QFile::copy(shelltest::MovieWithoutSound(), silent));
    trelvan::test::WriteBytes(bad.toStdString(), {1, 2, 3, 4, 5, 6, 7, 8});
    const auto silentSize = std::filesystem::file_size(silent.toStdString());
    const struct {
        QString source, output;
        int button;
        int32_t code;  // 0: the reader's code for what it cannot read
        QString named;
    } cases[] = {
        {bad, dir + "/bad_out.mov", 1030, 0, bad},
        {silent, dir + "/silent_out.m4a", 1036, trelvan::mov::kInvalidTrack, silent},
        {silent, silent, 1030, trelvan::mov::kCantCreateSingleForkFile, silent},
    };
    PageWindow w(shelltest::kMovSeparate);
    for (const auto& c : cases) {
        shelltest::BoxCapture capture;
        w.page->SetItemText(1003, c.source);
        w.page->SetItemText(1053, c.output);
        w.Click(c.button);
        ExpectFailureBox(capture, c.named);
        if (c.code != 0) {
            QCOMPARE(shelltest::BoxCode(capture.boxes[0]), c.code);
        }
        QVERIFY(w.Field(1034) != QString("100 %"));
        QVERIFY(c.output == c.source || !std::filesystem::exists(c.output.toStdString()));
    }
    QCOMPARE(std::filesystem::file_size(silent.toStdString()), silentSize);
}

SHELL_TEST(MovSeparatePageTest);
#include "MovSeparatePageTest.moc"
