// The MOV unite page: labels, drops (a movie is the video source and names
// the output, an M4A file the sound source), a run checked by Verify, and a
// missing track named by its source in the error box.
#include <QCheckBox>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>

#include "CAVIBase.h"
#include "Fixtures.h"
#include "Language.h"
#include "MovOperations.h"
#include "MovResult.h"
#include "ShellTestSupport.h"

using shelltest::PageWindow;

class MovUnitePageTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() {
        trelvan::SetLanguageOverride(trelvan::LanguageChoice::System);
        shelltest::ClearPageSettings();
    }
    void labelsAndDrops();
    void uniteRunsAndVerifies();
    void aMissingTrackNamesItsSource();
};

void MovUnitePageTest::labelsAndDrops() {
    shelltest::ExpectCaptions(shelltest::kMovUnite,
                              {{1050, "Video Src[MOV]", "映像ソース[MOV]"},
                               {1052, "Audio Src[MOV or M4A]", "音声ソース[MOV or M4A]"},
                               {1053, "Output Dst[MOV]", "出力ファイル名[MOV]"},
                               {1029, "Comb", "合体"}});
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    PageWindow w(shelltest::kMovUnite);
    for (const char* video : {"a.MOV", "b.mp4", "c.M4V", "d.3gp"}) {
        QVERIFY(w.Drop(dir + "/" + video));
        QCOMPARE(w.Field(1040), dir + "/" + video);
        QCOMPARE(w.Field(1048), dir + "/" + QString(video).left(1) + "_comb.mov");
    }
    QVERIFY(w.Drop(dir + "/s.m4a"));
    QVERIFY(w.Drop(dir + "/x.txt"));  // a kind no page takes: nothing changes
    QCOMPARE(w.Field(1020), dir + "/s.m4a");
    QCOMPARE(w.Field(1040), dir + "/d.3gp");
}

void MovUnitePageTest::uniteRunsAndVerifies() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString video = dir + "/picture.mov", sound = dir + "/voice.m4a";
    QVERIFY(QFile::copy(shelltest::MovieWithoutSound(), video));
    QVERIFY(QFile::copy(shelltest::SoundOnlyMovie(), sound));
    PageWindow w(shelltest::kMovUnite);
    shelltest::BoxCapture capture;
    w.page->VerifyBox()->setChecked(true);
    w.page->SetItemText(1040, video);
    w.page->SetItemText(1020, sound);
    w.Click(1029);  // an empty output is named from the video source
    const QString output =
        QString::fromStdString(trelvan::MovUniteDefaultOutput(video.toStdString()));
    QCOMPARE(w.Field(1048), output);
    QCOMPARE(w.page->IsIdle(), 1);
    QCOMPARE(capture.boxes.size(), 0);
    static const QRegularExpression kVerified("^Verified: .+ identical$");
    QVERIFY2(kVerified.match(w.Field(1034)).hasMatch(), qPrintable(w.Field(1034)));
    QVERIFY(std::filesystem::exists(output.toStdString()));
}

void MovUnitePageTest::aMissingTrackNamesItsSource() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString video = dir + "/picture.mov", video2 = dir + "/picture2.mov";
    const QString sound = dir + "/voice.m4a", sound2 = dir + "/voice2.m4a";
    for (const QString& v : {video, video2}) {
        QVERIFY(QFile::copy(shelltest::MovieWithoutSound(), v));
    }
    for (const QString& a : {sound, sound2}) {
        QVERIFY(QFile::copy(shelltest::SoundOnlyMovie(), a));
    }
    // Two movies without sound, two without video: the source that lacks
    // its track is named.
    const struct {
        QString video, audio, named;
    } cases[] = {{video, video2, video2}, {sound, sound2, sound}};
    PageWindow w(shelltest::kMovUnite);
    for (const auto& c : cases) {
        shelltest::BoxCapture capture;
        w.page->SetItemText(1040, c.video);
        w.page->SetItemText(1020, c.audio);
        w.page->SetItemText(1048, dir + "/out.mov");
        w.Click(1029);
        QCOMPARE(capture.boxes.size(), 1);
        QCOMPARE(shelltest::BoxCode(capture.boxes[0]), trelvan::mov::kInvalidTrack);
        trelvan::MovOpResult r;
        r.code = trelvan::mov::kInvalidTrack;
        QCOMPARE(capture.boxes[0].text,
                 QString::fromStdString(trelvan::MovOpErrorText(r, c.named.toStdString(), false)));
        QVERIFY(!std::filesystem::exists((dir + "/out.mov").toStdString()));
    }
}

SHELL_TEST(MovUnitePageTest);
#include "MovUnitePageTest.moc"
