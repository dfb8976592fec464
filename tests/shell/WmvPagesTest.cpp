// The four WMV pages: labels, drops and default names, one run of each on
// small made files (the work runs on a worker thread: the tests wait until
// the page is idle again), a missing stream, and Stop during a link.
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <thread>

#include "CColorButton.h"
#include "CDragListBoxEx.h"
#include "CTrelvanDlg.h"
#include "CWMVExtract.h"
#include "Fixtures.h"
#include "IoFile.h"
#include "Language.h"
#include "ShellTestSupport.h"
#include "WmvOperations.h"

namespace {

constexpr int kSeparate = 6, kUnite = 7, kLink = 8, kExtract = 9;

QString Make(const char* name, const char* args, const char* ext) {
    return QString::fromStdString(trelvan::test::MakeMedia(name, args, ext));
}
QString Movie() {  // 2 s, video and audio
    return Make("page-wmv-movie",
                "-f lavfi -i testsrc=d=2:s=64x48:r=10 -f lavfi -i sine=d=2:r=22050 -c:v wmv2 "
                "-c:a wmav2 -b:a 32k",
                "wmv");
}
QString Silent() {  // 2 s, video alone
    return Make("page-wmv-silent", "-f lavfi -i testsrc=d=2:s=64x48:r=10 -c:v wmv2", "wmv");
}
QString Tone() {  // 3 s, audio alone
    return Make("page-wmv-tone", "-f lavfi -i sine=d=3:r=22050 -c:a wmav2 -b:a 32k", "wma");
}

// A source whose reads take a while, so that a run can be stopped midway.
class SlowFile : public trelvan::IoFile {
  public:
    explicit SlowFile(std::unique_ptr<trelvan::IoFile> inner) : m_inner(std::move(inner)) {}
    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return m_inner->ReadAt(offset, buf, n);
    }
    bool WriteAt(uint64_t, const void*, size_t) override { return false; }
    int64_t Size() override { return m_inner->Size(); }
    bool Truncate(uint64_t) override { return false; }
    bool Close() override { return m_inner->Close(); }

  private:
    std::unique_ptr<trelvan::IoFile> m_inner;
};

struct Window {
    explicit Window(int index) {
        dlg.CreatePage(nullptr);
        dlg.show();
        QTest::mouseClick(dlg.PageButton(index), Qt::LeftButton);
        page = static_cast<CAVIBase*>(dlg.Page(index));
    }
    QString Field(int id) const { return page->ItemText(id); }
    void Click(int id) { QTest::mouseClick(page->Item<QPushButton>(id), Qt::LeftButton); }
    void Drop(const QString& path) { QVERIFY(shelltest::DropFiles(&dlg, QPoint(1, 1), {path})); }
    // Starts with `id` and waits until the page is idle again.
    bool Run(int id) {
        Click(id);
        return QTest::qWaitFor([this] { return page->IsIdle() == 1; }, 20000);
    }
    CTrelvanDlg dlg;
    CAVIBase* page = nullptr;
};

bool Exists(const QString& path) {
    return std::filesystem::exists(path.toStdString());
}

}  // namespace

class WmvPagesTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void labelsInBothLanguages();
    void dropsAndDefaultNames();
    void separateRunsAndAMissingStream();
    void uniteLinkAndExtractRun();
    void stopDuringALinkEndsTheFile();
    void linkOfDifferentFilesAsksFirst();
};

void WmvPagesTest::labelsInBothLanguages() {
    struct Label {
        int page, id;
        const char* english;
        const char* japanese;
    };
    const Label labels[] = {
        {kSeparate, 1050, "Movie Src[WMV]", "映像ソース[WMV]"},
        {kSeparate, 1057, "Output Dst[WMV or WMA]", "出力ファイル名[WMV or WMA]"},
        {kSeparate, 1034, "Info", "ソースと出力ファイル名を入れて、切出ボタンを押してください"},
        {kSeparate, 1036, "Audio Cut", "音声切り出し"},
        {kUnite, 1050, "Video Src[WMV]", "映像ソース[WMV]"},
        {kUnite, 1052, "Audio Src[WMA]", "音声ソース[WMA]"},
        {kUnite, 1053, "Output Dst[WMV]", "出力ファイル名[WMV]"},
        {kUnite, 1029, "Comb", "合体"},
        {kLink, 1049, "Input Src(Drag && Drop OK)",
         "連結するソースを指定してください(ドラッグ&&ドロップ可)"},
        {kLink, 1053, "Output Dst[WMV]", "出力ファイル名[WMV]"},
        {kLink, 1066, "Add", "追加"},
        {kExtract, 1050, "Movie Src[WMV]", "映像ソース[WMV]"},
        {kExtract, 1053, "Output Dst[WMV]", "出力ファイル名[WMV]"},
        {kExtract, 1059, "Progress", "進行状況"},
        {kExtract, 1065, "S", "秒"},
    };
    for (bool ja : {false, true}) {
        trelvan::SetLanguageOverride(ja ? trelvan::LanguageChoice::Japanese
                                        : trelvan::LanguageChoice::English);
        CTrelvanDlg dlg;
        dlg.CreatePage(nullptr);
        for (int i : {kSeparate, kUnite, kLink, kExtract}) {
            QVERIFY(dlg.PageButton(i)->isEnabled());
        }
        for (const Label& l : labels) {
            QCOMPARE(dlg.Page(l.page)->ItemText(l.id),
                     QString::fromUtf8(ja ? l.japanese : l.english));
        }
    }
}

void WmvPagesTest::dropsAndDefaultNames() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    shelltest::BoxCapture capture;
    {
        // Separate: WMV and WMA in any case, always a new "_cut.wmv".
        Window w(kSeparate);
        w.Drop(dir + "/notes.avi");  // not for this page: the AVI page's
        QCOMPARE(w.Field(1003), QString());
        QCOMPARE(w.dlg.SelectedPage(), 0);
        w.dlg.SelectPage(kSeparate);
        w.Drop(dir + "/a.WMA");
        QCOMPARE(w.Field(1003), dir + "/a.WMA");
        QCOMPARE(w.Field(1053), dir + "/a_cut.wmv");
    }
    {
        // Unite: a WMV is the video source and names the output, a WMA the
        // audio source.
        Window w(kUnite);
        w.Drop(dir + "/s.wma");
        w.Drop(dir + "/v.Wmv");
        w.Drop(dir + "/x.txt");
        QCOMPARE(w.Field(1040), dir + "/v.Wmv");
        QCOMPARE(w.Field(1020), dir + "/s.wma");
        QCOMPARE(w.Field(1048), dir + "/v_comb.wmv");
    }
    {
        // Link: the first drop on an empty page names the output with its
        // own extension.
        Window w(kLink);
        w.Drop(dir + "/a.wma");
        w.Drop(dir + "/b.wmv");
        w.Drop(dir + "/c.mov");
        QCOMPARE(w.page->findChild<CDragListBoxEx*>()->count(), 2);
        QCOMPARE(w.Field(1048), dir + "/a_link.wma");
    }
    {
        // Extract: the range ends where the file's samples end (to the next
        // millisecond); an unreadable file clears the page and shows 8201.
        Window w(kExtract);
        const QString movie = dir + "/clip.wmv";
        QVERIFY(QFile::copy(Movie(), movie));
        w.Drop(movie);
        QCOMPARE(w.Field(1048), dir + "/clip_extr.wmv");
        uint64_t end = 0;
        QCOMPARE(trelvan::WmvSourceEnd(movie.toStdString(), &end), 0);
        const uint64_t ms = (end + 9999) / 10000;
        QCOMPARE(w.Field(CWMVExtract::kRangeIds[6]).toLongLong(),
                 static_cast<qlonglong>(ms / 1000 % 60));
        QCOMPARE(w.Field(CWMVExtract::kRangeIds[7]).toLongLong(),
                 static_cast<qlonglong>(ms % 1000));
        QCOMPARE(capture.boxes.size(), 0);
        const QString bad = dir + "/bad.wmv";
        trelvan::test::WriteBytes(bad.toStdString(), {1, 2, 3, 4, 5, 6, 7, 8});
        w.Drop(bad);
        QCOMPARE(capture.boxes.size(), 1);
        QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.8201"));
        QCOMPARE(w.Field(1040), QString());
        QCOMPARE(w.Field(1048), QString());
        QCOMPARE(w.Field(CWMVExtract::kRangeIds[7]), QString("000"));
    }
}

void WmvPagesTest::separateRunsAndAMissingStream() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString movie = dir + "/movie.wmv", silent = dir + "/silent.wmv";
    QVERIFY(QFile::copy(Movie(), movie));
    QVERIFY(QFile::copy(Silent(), silent));
    Window w(kSeparate);
    shelltest::BoxCapture capture;
    w.Drop(movie);
    QVERIFY(w.Run(1030));
    QCOMPARE(capture.boxes.size(), 0);
    QCOMPARE(w.Field(1034), QString("100 %"));
    QVERIFY(Exists(dir + "/movie_cut.wmv"));
    // Audio Cut takes ".wma"; a movie without audio has nothing to cut.
    QVERIFY(w.Run(1036));
    QCOMPARE(w.Field(1053), dir + "/movie_cut.wma");
    QVERIFY(Exists(dir + "/movie_cut.wma"));
    w.Drop(silent);
    QVERIFY(w.Run(1036));
    QCOMPARE(capture.boxes.size(), 1);
    QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.8204"));
    QVERIFY(w.Field(1034) != QString("100 %"));
    QVERIFY(w.page->Item<QPushButton>(1030)->isEnabled());
    QVERIFY(w.page->Item<QPushButton>(1036)->isEnabled());
    QVERIFY(!w.page->Item<QPushButton>(1042)->isEnabled());
    // An output that names the source is refused; the source stays.
    const auto size = std::filesystem::file_size(silent.toStdString());
    w.page->SetItemText(1053, silent);
    QVERIFY(w.Run(1030));
    QCOMPARE(capture.boxes.size(), 2);
    QCOMPARE(capture.boxes[1].caption, QString::fromUtf8("エラーNo.6006"));
    QCOMPARE(std::filesystem::file_size(silent.toStdString()), size);
}

void WmvPagesTest::uniteLinkAndExtractRun() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString movie = dir + "/movie.wmv", tone = dir + "/tone.wma";
    QVERIFY(QFile::copy(Movie(), movie));
    QVERIFY(QFile::copy(Tone(), tone));
    shelltest::BoxCapture capture;
    uint64_t duration = 0;
    {
        Window w(kUnite);
        w.Drop(movie);
        w.Drop(tone);
        QVERIFY(w.Run(1029));
        QCOMPARE(w.Field(1034), QString("100 %"));
        // The unite runs to the end of the longer source: the tone's 3 s.
        QCOMPARE(trelvan::WmvSourceDuration((dir + "/movie_comb.wmv").toStdString(), &duration), 0);
        QVERIFY(duration >= 25000000);
    }
    {
        Window w(kLink);
        w.Drop(movie);
        w.Drop(movie);
        QVERIFY(w.Run(1029));
        QCOMPARE(w.Field(1034), QString("100 %"));
        QCOMPARE(trelvan::WmvSourceDuration((dir + "/movie_link.wmv").toStdString(), &duration), 0);
        QVERIFY(duration >= 35000000);
    }
    {
        Window w(kExtract);
        w.Drop(movie);
        w.page->SetItemText(CWMVExtract::kRangeIds[2], "0");
        w.page->SetItemText(CWMVExtract::kRangeIds[3], "500");
        w.page->SetItemText(CWMVExtract::kRangeIds[6], "1");
        w.page->SetItemText(CWMVExtract::kRangeIds[7], "500");
        w.page->SetItemText(1048, "");
        QVERIFY(w.Run(1029));
        QCOMPARE(w.Field(1048), dir + "/movie_extr.wmv");
        QCOMPARE(w.Field(1034), QString("100 %"));
        QCOMPARE(trelvan::WmvSourceDuration((dir + "/movie_extr.wmv").toStdString(), &duration), 0);
        QVERIFY(duration > 5000000 && duration < 15000000);
        QCOMPARE(capture.boxes.size(), 0);
        // 0.1 s to 0.3 s holds no key frame (the next is at 1.2 s): the run
        // completes and the user is told.
        w.page->SetItemText(CWMVExtract::kRangeIds[3], "100");
        w.page->SetItemText(CWMVExtract::kRangeIds[6], "0");
        w.page->SetItemText(CWMVExtract::kRangeIds[7], "300");
        QVERIFY(w.Run(1029));
        QCOMPARE(capture.boxes.size(), 1);
        QCOMPARE(capture.boxes[0].text, QString::fromStdString(trelvan::WmvNoKeyFrameWarning()));
        QCOMPARE(w.Field(1034), QString("100 %"));
    }
}

void WmvPagesTest::stopDuringALinkEndsTheFile() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString movie = dir + "/movie.wmv", out = dir + "/out.wmv";
    QVERIFY(QFile::copy(Movie(), movie));
    Window w(kLink);
    shelltest::BoxCapture capture;
    trelvan::OpContext& ctx = w.page->Context();
    ctx.opener = [](const std::string& path,
                    trelvan::OpenMode mode) -> std::unique_ptr<trelvan::IoFile> {
        auto inner = trelvan::DiskFileOpener()(path, mode);
        if (!inner || mode != trelvan::OpenMode::Read) {
            return inner;
        }
        return std::make_unique<SlowFile>(std::move(inner));
    };
    auto* list = w.page->findChild<CDragListBoxEx*>();
    for (int i = 0; i < 6; ++i) {
        list->AddPath(movie);
    }
    w.page->SetItemText(1048, out);
    w.Click(1029);
    QVERIFY(!w.page->Item<QPushButton>(1029)->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(ctx.item.load() >= 1, 20000);
    w.Click(1042);
    // Stop sets the flag only: Link stays disabled until the run has ended.
    QVERIFY(!w.page->Item<QPushButton>(1029)->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(w.page->IsIdle(), 1, 20000);
    QCOMPARE(capture.boxes.size(), 0);
    QVERIFY(w.Field(1034) != QString("100 %"));
    QVERIFY(w.page->Item<QPushButton>(1029)->isEnabled());
    // The file is ended properly, with fewer than the six entries.
    uint64_t duration = 0;
    QCOMPARE(trelvan::WmvSourceDuration(out.toStdString(), &duration), 0);
    QVERIFY(duration < 6 * 20000000ull);
}

void WmvPagesTest::linkOfDifferentFilesAsksFirst() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString movie = dir + "/movie.wmv", silent = dir + "/silent.wmv";
    QVERIFY(QFile::copy(Movie(), movie));
    QVERIFY(QFile::copy(Silent(), silent));
    Window w(kLink);
    shelltest::BoxCapture capture;
    capture.answer = false;  // Cancel
    w.Drop(movie);
    w.Drop(silent);
    // The question comes from the worker and is asked on the window
    // thread; Cancel writes nothing and shows no "100 %".
    QVERIFY(w.Run(1029));
    QCOMPARE(capture.boxes.size(), 1);
    QVERIFY(capture.boxes[0].okCancel);
    QVERIFY(!Exists(dir + "/movie_link.wmv"));
    QVERIFY(w.Field(1034) != QString("100 %"));
    QVERIFY(w.page->Item<QPushButton>(1029)->isEnabled());
}

SHELL_TEST(WmvPagesTest);
#include "WmvPagesTest.moc"
