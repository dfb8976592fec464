// The MOV extract page: labels, a drop that fills the range from the movie's
// duration (an unreadable file clears the page and is named in the error
// box), the preview of the plan, a run checked by Verify, and Stop.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "CBaseExtractPage.h"
#include "CCutPreviewDlg.h"
#include "Fixtures.h"
#include "Language.h"
#include "MovOperations.h"
#include "ShellTestSupport.h"

using shelltest::PageWindow;

namespace {

// The box of a failure names `file` with the movie layer's message, and the
// page's fields are empty again.
void ExpectClearedWithBox(const PageWindow& w, const shelltest::BoxCapture& capture,
                          const QString& file) {
    QCOMPARE(capture.boxes.size(), 1);
    trelvan::MovOpResult r;
    r.code = shelltest::BoxCode(capture.boxes[0]);
    QCOMPARE(capture.boxes[0].text,
             QString::fromStdString(trelvan::MovOpErrorText(r, file.toStdString(), false)));
    QCOMPARE(w.Field(1040), QString());
    QCOMPARE(w.Field(1048), QString());
    QCOMPARE(w.Field(CBaseExtractPage::kRangeIds[7]), QString("000"));
}

}  // namespace

class MovExtractPageTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() {
        trelvan::SetLanguageOverride(trelvan::LanguageChoice::System);
        shelltest::ClearPageSettings();
    }
    void labelsDropAndRange();
    void previewShowsThePlanAndExtraVerifies();
    void stopEndsTheRunWithoutOutput();
};

void MovExtractPageTest::labelsDropAndRange() {
    shelltest::ExpectCaptions(shelltest::kMovExtract,
                              {{1050, "Movie Src[MOV]", "映像ソース[MOV]"},
                               {1053, "Output Dst[MOV]", "出力ファイル名[MOV]"},
                               {1029, "Extra", "抽出"}});
    trelvan::SetLanguageOverride(trelvan::LanguageChoice::English);
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString movie = dir + "/clip.mp4", bad = dir + "/bad.mov";
    QVERIFY(QFile::copy(shelltest::MovieWithSound(), movie));
    trelvan::test::WriteBytes(bad.toStdString(), {1, 2, 3, 4, 5, 6, 7, 8});
    PageWindow w(shelltest::kMovExtract);
    shelltest::BoxCapture capture;
    QVERIFY(w.Drop(movie));
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(w.Field(1048), dir + "/clip_extr.mp4");  // the source's own kind
    uint64_t duration = 0;
    QCOMPARE(trelvan::MovSourceDuration(movie.toStdString(), &duration), 0);
    const uint64_t ms = (duration + 9999) / 10000;
    QCOMPARE(w.Field(CBaseExtractPage::kRangeIds[6]).toULongLong(), ms / 1000 % 60);
    QCOMPARE(w.Field(CBaseExtractPage::kRangeIds[7]).toULongLong(), ms % 1000);
    QVERIFY(w.Drop(bad));
    ExpectClearedWithBox(w, capture, bad);
}

void MovExtractPageTest::previewShowsThePlanAndExtraVerifies() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString source = dir + "/clip.mov", output = dir + "/part.mov";
    QVERIFY(QFile::copy(shelltest::MovieWithSound(), source));
    PageWindow w(shelltest::kMovExtract);
    shelltest::BoxCapture capture;
    w.page->SetItemText(1040, source);
    w.page->SetItemText(1048, output);
    const int range[8] = {0, 0, 0, 300, 0, 0, 0, 800};
    for (int i = 0; i < 8; ++i) {
        w.page->SetItemText(CBaseExtractPage::kRangeIds[i], QString::number(range[i]));
    }
    QStringList captions;
    QString facts;
    QTimer::singleShot(0, [&] {
        if (auto* d = qobject_cast<CCutPreviewDlg*>(QApplication::activeModalWidget())) {
            for (int i = 0; auto* c = d->findChild<QLabel*>(QString("Frame%1Caption").arg(i));
                 ++i) {
                captions << c->text();
            }
            facts = d->findChild<QLabel*>("Facts")->text();
            d->reject();
        }
    });
    static_cast<CBaseExtractPage*>(w.page)->OnPreview();  // as Ctrl+P does
    QCoreApplication::processEvents();
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(captions, (QStringList{"First frame shown", "Last frame shown"}));
    trelvan::MovExtractJob job;
    job.source = source.toStdString();
    job.start = 3000000;
    job.end = 8000000;
    trelvan::MovExtractPlan plan;
    QCOMPARE(trelvan::PlanMovExtract(job, &plan), 0);
    // In the other previews' form: "Label: value", no raw lower-case lines.
    QVERIFY2(facts.contains("Samples: " + QString::number(plan.samples) +
                            "\nBytes: " + QString::number(plan.bytes)),
             qPrintable(facts));
    QVERIFY(!std::filesystem::exists(output.toStdString()));

    w.page->VerifyBox()->setChecked(true);
    w.Click(1029);
    QCOMPARE(capture.boxes.size(), 0);
    static const QRegularExpression kVerified("^Verified: .+ identical$");
    QVERIFY2(kVerified.match(w.Field(1034)).hasMatch(), qPrintable(w.Field(1034)));
}

// Stop pressed as soon as the work has begun: no box, no output, no 100 %;
// the page is busy (the window will not close) until the run has returned.
void MovExtractPageTest::stopEndsTheRunWithoutOutput() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString source = dir + "/clip.mov", output = dir + "/part.mov";
    QVERIFY(QFile::copy(shelltest::MovieWithSound(), source));
    PageWindow w(shelltest::kMovExtract);
    shelltest::BoxCapture capture;
    w.page->SetItemText(1040, source);
    w.page->SetItemText(1048, output);
    w.page->SetItemText(CBaseExtractPage::kRangeIds[6], "1");
    int pumps = 0, busy = 0;
    auto pump = w.page->Context().pump;
    w.page->Context().pump = [&] {
        ++pumps;
        busy += w.page->IsIdle() == 0 ? 1 : 0;
        auto* stop = w.page->Item<QPushButton>(1042);
        if (stop->isEnabled()) {
            QTest::mouseClick(stop, Qt::LeftButton);
        }
        pump();
    };
    w.Click(1029);
    QVERIFY(pumps > 0);
    QCOMPARE(busy, pumps);
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(!std::filesystem::exists(output.toStdString()));
    QVERIFY(w.Field(1034) != QString("100 %"));
    QCOMPARE(w.page->IsIdle(), 1);
    QVERIFY(w.page->Item<QPushButton>(1029)->isEnabled());
}

SHELL_TEST(MovExtractPageTest);
#include "MovExtractPageTest.moc"
