// The page framework: the error box, filters, tooltips of path fields, the
// running state and the progress display, the texts of Qt's dialogs.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <memory>

#include "CAVIBase.h"
#include "CCutPreviewDlg.h"
#include "CDragListBoxEx.h"
#include "CTrelvanDlg.h"
#include "CWAVExtract.h"
#include "Fixtures.h"
#include "Language.h"
#include "PageTemplates.h"
#include "PageUtil.h"
#include "ShellTestSupport.h"

using trelvan::shell::MessageBoxRequest;

// A page whose Start runs a few units of made-up work, for the protocol.
class TestPage : public CAVIBase {
  public:
    TestPage() : CAVIBase(110, nullptr, QColor(1, 2, 3)) {}
    void Run(int units) {
        m_ctx.first = 0;
        m_ctx.current = 0;
        m_ctx.last = units;
        BeginWork(500);
        for (int i = 0; i < units && !m_ctx.StopRequested(); ++i) {
            m_ctx.current = i + 1;
            m_ctx.timer.AddLap();
            m_ctx.Pump();
            m_ctx.timer.Start();
        }
        EndWork();
    }
    using CAVIBase::BrowseOpen;
    using CAVIBase::BrowseSave;
    using CAVIBase::OnStop;
};

namespace {
// Reads the modal window that `open` shows, then closes it.
QStringList ReadModal(const std::function<void()>& open,
                      const std::function<QStringList(QWidget*)>& read) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr) {
            texts = read(modal);
            QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
        }
    });
    open();
    return texts;
}
}  // namespace

// A link page (layout 107) wired as the link pages are: drops on the page
// take .avi files, Add/Del/Reset edit the list.
class TestLinkPage : public CAVIBase {
  public:
    TestLinkPage() : CAVIBase(107, nullptr, QColor(255, 255, 128)) {}
    void OnFileDropped(const QString& path) override {
        m_output = ItemText(1048);
        ListFileDropped(path, {".avi"}, ".avi", &m_output);
        SetItemText(1048, m_output);
    }
    bool OnInitDialog() override {
        CAVIBase::OnInitDialog();
        connect(Item<QPushButton>(1066), &QPushButton::clicked, this,
                [this] { OnListAdd("AVI (*.AVI)|*.avi|"); });
        connect(Item<QPushButton>(1007), &QPushButton::clicked, this, [this] { OnListDel(); });
        connect(Item<QPushButton>(1032), &QPushButton::clicked, this, [this] {
            OnListReset(&m_output);
            SetItemText(1048, m_output);
        });
        return true;
    }
    using CAVIBase::SourceList;
    QString m_output;
};

class PageBaseTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void errorBoxInBothLanguages();
    void filtersBecomeDialogFilters();
    void pathFieldTooltipShowsWholePath();
    void runningStateAndFullRun();
    void stopKeepsLastProgress();
    void progressDisplayFromPositions();
    void linkPageDropsAndListButtons();
    void rangeFieldsRefuseValuesOutsideLimits();
    void qtDialogTextsInBothLanguages();
};

void PageBaseTest::errorBoxInBothLanguages() {
    struct Case {
        trelvan::LanguageChoice lang;
        int32_t code;
        const char* detail;
        const char* caption;
        const char* text;
    };
    using L = trelvan::LanguageChoice;
    const Case cases[] = {
        {L::English, 1002, "", "エラーNo.1002", "File opening failure"},
        {L::Japanese, 1002, "", "エラーNo.1002", "ファイルオープン失敗"},
        {L::English, -5, "/in/a.wav", "エラーNo.-005", "/in/a.wav\nThe file doesn't open. "},
        {L::Japanese, -5, "", "エラーNo.-005", "ファイルが開きません。"},
        {L::English, 502, "", "エラーNo.0502", "Output error"},
        {L::English, 7, "", "エラーNo.0007", "Other Errors"},
        {L::Japanese, -42, "", "エラーNo.-042", "バッファオーバーしました"},
        {L::English, 103, "", "エラーNo.0103",
         "Preservation error \n or cancellation \n or the output path is bad. "},
        {L::English, 1007, "abc", "エラーNo.1007", "abc\nStream reading failure"},
    };
    for (const Case& c : cases) {
        trelvan::SetLanguageOverride(c.lang);
        shelltest::BoxCapture capture;
        TestPage page;
        page.CreatePage(nullptr);
        page.ShowError(c.code, c.detail);
        QCOMPARE(capture.boxes.size(), 1);
        const MessageBoxRequest& box = capture.boxes[0];
        QCOMPARE(box.caption, QString::fromUtf8(c.caption));
        QCOMPARE(box.text, QString::fromUtf8(c.text));
        QVERIFY(box.information);
        QVERIFY(!box.okCancel);
        QCOMPARE(box.owner, &page);
    }
    // Codes without a text show nothing.
    shelltest::BoxCapture capture;
    trelvan::shell::ShowError(nullptr, 0);
    trelvan::shell::ShowError(nullptr, -2);
    QCOMPARE(capture.boxes.size(), 0);
}

void PageBaseTest::filtersBecomeDialogFilters() {
    using trelvan::shell::ConvertFilter;
    QCOMPARE(ConvertFilter("WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|all (*.*)|*.*|"),
             QStringList({"WAV-Audio (*.wav *.avi)", "all (*.*)"}));
    QCOMPARE(ConvertFilter("WAV (*.WAV)|*.wav|"), QStringList({"WAV (*.wav)"}));
    QCOMPARE(ConvertFilter(QString::fromUtf8("すべてのファイル  (*.*)|*.*|")),
             QStringList({QString::fromUtf8("すべてのファイル (*.*)")}));
    QCOMPARE(ConvertFilter(""), QStringList());
    QCOMPARE(ConvertFilter("broken|"), QStringList());
}

void PageBaseTest::pathFieldTooltipShowsWholePath() {
    TestPage page;
    page.CreatePage(nullptr);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    const QString path = "/a/very/long/folder/" + QString("x").repeated(200) + ".wav";
    page.SetItemText(1040, path);
    auto* field = page.Item<QLineEdit>(1040);
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), field->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(field, &help);
    QTRY_COMPARE(QToolTip::text(), path);
    QToolTip::hideText();
    // An empty field shows none.
    page.SetItemText(1048, "");
    auto* out = page.Item<QLineEdit>(1048);
    QHelpEvent help2(QEvent::ToolTip, QPoint(2, 2), out->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(out, &help2);
    QTRY_VERIFY(!QToolTip::isVisible());
}

void PageBaseTest::runningStateAndFullRun() {
    TestPage page;
    page.CreatePage(nullptr);
    auto* start = page.Item<QPushButton>(1029);
    auto* stop = page.Item<QPushButton>(1042);
    QVERIFY(start->isEnabled());
    QVERIFY(!stop->isEnabled());
    QCOMPARE(page.IsIdle(), 1);
    bool checked = false;
    page.Context().pump = [&] {
        if (!checked) {
            checked = true;
            QVERIFY(!start->isEnabled());
            QVERIFY(stop->isEnabled());
            QCOMPARE(page.IsIdle(), 0);
            QVERIFY(page.DisplayTimer().isActive());
            QCOMPARE(page.ItemText(1034), QString("  0 %"));
        }
    };
    page.Run(3);
    QVERIFY(checked);
    QCOMPARE(page.ItemText(1034), QString("100 %"));
    QCOMPARE(page.Item<QProgressBar>(1038)->value(), 100);
    QVERIFY(start->isEnabled());
    QVERIFY(!stop->isEnabled());
    QVERIFY(!page.DisplayTimer().isActive());
    QCOMPARE(page.IsIdle(), 1);
}

void PageBaseTest::stopKeepsLastProgress() {
    TestPage page;
    page.CreatePage(nullptr);
    int units = 0;
    page.Context().pump = [&] {
        if (++units == 2) {
            page.RefreshProgress();  // what the timer shows
            page.OnStop();
            QVERIFY(!page.Item<QPushButton>(1042)->isEnabled());
        }
    };
    page.Run(10);
    QCOMPARE(units, 2);
    QVERIFY(page.ItemText(1034).startsWith(" 20 %"));
    QCOMPARE(page.Item<QProgressBar>(1038)->value(), 20);
    QVERIFY(page.Item<QPushButton>(1029)->isEnabled());
}

void PageBaseTest::progressDisplayFromPositions() {
    for (auto lang : {trelvan::LanguageChoice::English, trelvan::LanguageChoice::Japanese}) {
        trelvan::SetLanguageOverride(lang);
        TestPage page;
        page.CreatePage(nullptr);
        uint32_t now = 0;
        // The timer holds atomics and cannot be assigned: it is made anew
        // in place with the test's clock.
        std::destroy_at(&page.Context().timer);
        std::construct_at(&page.Context().timer, CTimeMmanager::Clock([&] { return now; }));
        page.Context().timer.ClearTotal();
        page.Context().timer.Start();
        now = 83000;
        page.Context().timer.AddLap();
        page.Context().first = 0;
        page.Context().current = 416;
        page.Context().last = 1000;
        page.RefreshProgress();
        const QString sep =
            lang == trelvan::LanguageChoice::English ? "/" : QString::fromUtf8("／");
        QCOMPARE(page.ItemText(1034), " 42 % (00:01:23" + sep + "00:01:56)");
        QCOMPARE(page.Item<QProgressBar>(1038)->value(), 42);
    }
}

void PageBaseTest::linkPageDropsAndListButtons() {
    TestLinkPage page;
    page.CreatePage(nullptr);
    page.resize(trelvan::shell::PageWidth(), trelvan::shell::PageHeight());
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    CDragListBoxEx* list = page.SourceList();
    QVERIFY(list);
    const QPoint onList = list->mapTo(&page, QPoint(20, 20));
    const QPoint onGroup = page.Item(1049)->mapTo(&page, QPoint(4, 4));

    // On the group box: a .txt file is ignored, the first .avi proposes the
    // output; on the list: anything is added, the output is left alone.
    QVERIFY(shelltest::DropFiles(&page, onGroup, {"/m/notes.txt"}));
    QCOMPARE(list->count(), 0);
    QVERIFY(shelltest::DropFiles(&page, onList, {"/m/first.avi"}));
    QCOMPARE(page.ItemText(1048), QString());
    QVERIFY(shelltest::DropFiles(&page, onList, {"/m/notes.txt"}));
    QCOMPARE(list->Paths(), QStringList({"/m/first.avi", "/m/notes.txt"}));
    page.Item<QPushButton>(1032)->click();  // Reset
    QCOMPARE(list->count(), 0);
    QVERIFY(shelltest::DropFiles(&page, onGroup, {"/m/A.AVI", "/m/b.avi"}));
    QCOMPARE(page.ItemText(1048), QString("/m/A_link.avi"));
    QCOMPARE(list->Paths(), QStringList({"/m/A.AVI", "/m/b.avi"}));

    // Add with no selection appends in the dialog's order.
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    for (const char* name : {"c.avi", "d.avi"}) {
        trelvan::test::WriteBytes((dir + "/" + name).toStdString(), {0});
    }
    list->clearSelection();
    list->setCurrentRow(-1);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->setDirectory(dir);
        dialog->selectFile("\"c.avi\" \"d.avi\"");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    page.Item<QPushButton>(1066)->click();
    QCOMPARE(list->Paths(), QStringList({"/m/A.AVI", "/m/b.avi", dir + "/c.avi", dir + "/d.avi"}));

    // Del deletes the selected entry; Reset empties list and output.
    list->setCurrentRow(1);
    page.Item<QPushButton>(1007)->click();
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->SelectedIndex(), 1);
    page.Item<QPushButton>(1032)->click();
    QCOMPARE(list->count(), 0);
    QCOMPARE(page.ItemText(1048), QString());
}

// The range fields of both extract pages: a value outside its field's limits
// or not a whole number is named in a box, the field gets the focus and
// nothing is cut until it is corrected.
void PageBaseTest::rangeFieldsRefuseValuesOutsideLimits() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString src = QString::fromStdString(
        trelvan::test::MakeMedia("range-checks",
                                 "-f lavfi -i testsrc=d=2:s=64x48:r=10 -f lavfi -i sine=d=2:r=8000 "
                                 "-c:v mpeg4 -g 5 -c:a pcm_s16le -f avi",
                                 "avi"));
    struct Case {
        size_t field;  // start H, M, S, ms, end H, M, S, ms
        const char* typed;
        const char* english;
        const char* japanese;
    };
    const Case cases[] = {
        {1, "75", "Please enter an integer between 0 and 59.",
         "0 から 59 までの整数を入力してください。"},
        {2, "60", "Please enter an integer between 0 and 59.",
         "0 から 59 までの整数を入力してください。"},
        {3, "1000", "Please enter an integer between 0 and 999.",
         "0 から 999 までの整数を入力してください。"},
        {4, "2147483648", "Please enter an integer between 0 and 2147483647.",
         "0 から 2147483647 までの整数を入力してください。"},
        {5, "99999999999999999999", "Please enter an integer between 0 and 59.",
         "0 から 59 までの整数を入力してください。"},
        {7, "", "Please enter an integer.", "整数を入力してください。"},
        {6, "1x", "Please enter an integer.", "整数を入力してください。"},  // pasted
    };
    for (auto lang : {trelvan::LanguageChoice::English, trelvan::LanguageChoice::Japanese}) {
        trelvan::SetLanguageOverride(lang);
        const bool ja = lang == trelvan::LanguageChoice::Japanese;
        CTrelvanDlg dlg;
        dlg.CreatePage(nullptr);
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        for (int index : {3, 5}) {  // AVI extract, audio extract
            dlg.SelectPage(index);
            auto* page = static_cast<CAVIBase*>(dlg.Page(index));
            shelltest::BoxCapture capture;
            page->OnFileDropped(src);
            QCOMPARE(capture.boxes.size(), 0);
            const QString out = dir + QString("/refused-%1.out").arg(index);
            for (const Case& c : cases) {
                capture.boxes.clear();
                page->SetItemText(1048, out);
                auto* field = page->Item<QLineEdit>(CWAVExtract::kRangeIds[c.field]);
                field->setText(c.typed);
                QTest::mouseClick(page->Item<QPushButton>(1029), Qt::LeftButton);
                QCOMPARE(capture.boxes.size(), 1);
                QCOMPARE(capture.boxes[0].text, QString::fromUtf8(ja ? c.japanese : c.english));
                QCOMPARE(capture.boxes[0].caption, QString("Trelvan+"));
                QVERIFY(capture.boxes[0].warning);
                QVERIFY(!QFile::exists(out));  // nothing cut
                QCOMPARE(page->IsIdle(), 1);
                QCOMPARE(field->text(), QString(c.typed));
                QVERIFY(field->hasFocus());
                field->setText("0");
            }
            // The fields' limits themselves are allowed.
            capture.boxes.clear();
            const std::array<const char*, 8> limits = {"0", "59", "59", "999", "0", "0", "1", "0"};
            for (size_t i = 0; i < limits.size(); ++i) {
                page->SetItemText(CWAVExtract::kRangeIds[i], limits[i]);
            }
            QTest::mouseClick(page->Item<QPushButton>(1029), Qt::LeftButton);
            QCOMPARE(capture.boxes.size(), 0);
            QCOMPARE(page->ItemText(1034), QString("100 %"));
            QVERIFY(QFile::remove(out));
        }
    }
}

// Qt's file dialogs, question boxes and the preview's button speak English
// of their own; the program gives them its texts in both languages.
void PageBaseTest::qtDialogTextsInBothLanguages() {
    struct Case {
        trelvan::LanguageChoice lang;
        QStringList open, save;
        QString cancel, close;
    };
    using L = trelvan::LanguageChoice;
    const Case cases[] = {
        {L::English,
         {"Open", "Look in:", "File &name:", "Files of type:", "&Open", "Cancel"},
         {"Save As", "Look in:", "File &name:", "Files of type:", "&Save", "Cancel"},
         "Cancel",
         "Close"},
        {L::Japanese,
         QString::fromUtf8(
             "開く|ファイルの場所:|ファイル名(&N):|ファイルの種類:|開く(&O)|キャンセル")
             .split('|'),
         QString::fromUtf8("名前を付けて保存|ファイルの場所:|ファイル名(&N):|ファイルの種類:"
                           "|保存(&S)|キャンセル")
             .split('|'),
         QString::fromUtf8("キャンセル"), QString::fromUtf8("閉じる")},
    };
    const auto fileDialogTexts = [](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        if (d == nullptr) {
            return QStringList();
        }
        QStringList texts{d->windowTitle()};
        for (auto label : {QFileDialog::LookIn, QFileDialog::FileName, QFileDialog::FileType,
                           QFileDialog::Accept, QFileDialog::Reject}) {
            texts << d->labelText(label);
        }
        return texts;
    };
    for (const Case& c : cases) {
        trelvan::SetLanguageOverride(c.lang);
        TestPage page;
        page.CreatePage(nullptr);
        QCOMPARE(ReadModal([&] { page.BrowseOpen("wav", "", "WAV|*.wav|"); }, fileDialogTexts),
                 c.open);
        QCOMPARE(ReadModal([&] { page.BrowseSave("wav", "", "WAV|*.wav|"); }, fileDialogTexts),
                 c.save);
        const QStringList cancel = ReadModal(
            [&] { trelvan::shell::AskOkCancel(&page, "", "?"); },
            [](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                return box ? QStringList{box->button(QMessageBox::Cancel)->text()} : QStringList();
            });
        QCOMPARE(cancel, QStringList{c.cancel});
        CCutPreviewDlg preview(&page, CutPreview{});
        QCOMPARE(preview.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->text(),
                 c.close);
    }
}

SHELL_TEST(PageBaseTest);
#include "PageBaseTest.moc"
