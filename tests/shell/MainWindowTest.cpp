// The main window: pages and their buttons, frame and caption colours, drops
// anywhere on the window, the caption buttons, the close check, keys.
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <iterator>

#include "CAVIBase.h"
#include "CColorButton.h"
#include "CMyAboutDlg.h"
#include "CTrelvanApp.h"
#include "CTrelvanDlg.h"
#include "Fixtures.h"
#include "IniCreate.h"
#include "Language.h"
#include "ShellTestSupport.h"

namespace {

std::unique_ptr<CTrelvanDlg> MakeWindow() {
    auto dlg = std::make_unique<CTrelvanDlg>();
    dlg->CreatePage(nullptr);
    dlg->show();
    return dlg;
}

QColor PixelAt(QWidget* w, QPoint p) {
    return w->grab().toImage().pixelColor(p);
}

// The colours drawn in a rectangle of a grab.
QSet<QRgb> ColoursIn(const QImage& image, const QRect& r) {
    QSet<QRgb> out;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            out.insert(image.pixel(x, y) | 0xFF000000u);
        }
    }
    return out;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }
    void cleanup() { trelvan::SetLanguageOverride(trelvan::LanguageChoice::System); }

    void startsOnFirstPageInItsColour();
    void pageButtonsSwitchPagesAndFrame();
    void unbuiltPagesAreDisabledWithATooltip();
    void dropOnButtonRowReachesVisiblePage();
    void closeButtonActsOnlyWhenReleasedOnIt();
    void minimiseAndMaximiseImages();
    void closeIsRefusedWhilePageRuns();
    void enterAndEscapeDoNothing();
    void japaneseCaptions();
    void threeRowsOfButtonsUnderTheirLabels();
    void f10OpensAboutBox();
    void aboutBoxClosesWithEscapeAndReturn();
    void interfaceFontIsProportional();
    void helpOpensHelpPageBesideProgram();
    void aboutBoxVersionText();
    void aboutLinkOpensHelpPageBesideProgram();
    void companyKeyFromSettingIni();
    void fileDroppedOnAnyControlOfAPageReachesThePage();
};

void MainWindowTest::startsOnFirstPageInItsColour() {
    auto dlg = MakeWindow();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QCOMPARE(dlg->SelectedPage(), 0);
    QVERIFY(dlg->Page(0)->isVisible());
    for (int i = 1; i < CTrelvanDlg::kPageCount; ++i) {
        QVERIFY(!dlg->Page(i)->isVisible());
    }
    QCOMPARE(dlg->GetFrameColour(), QColor(255, 128, 128));
    QCOMPARE(dlg->GetCaptionTextColour(), QColor(127, 0, 0));
    // What is painted: the border and caption strip in the page colour, the
    // caption text in the flipped colour.
    const QImage shot = dlg->grab().toImage();
    QCOMPARE(shot.pixelColor(1, 1), QColor(255, 128, 128));
    QCOMPARE(shot.pixelColor(1, dlg->height() - 2), QColor(255, 128, 128));
    const QSet<QRgb> caption = ColoursIn(shot, dlg->CaptionRect());
    QVERIFY(caption.contains(QColor(127, 0, 0).rgb()));
    QCOMPARE(dlg->windowTitle(), QString("Trelvan+"));
}

void MainWindowTest::pageButtonsSwitchPagesAndFrame() {
    auto dlg = MakeWindow();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QTest::mouseClick(dlg->PageButton(5), Qt::LeftButton);
    QCOMPARE(dlg->SelectedPage(), 5);
    QVERIFY(dlg->Page(5)->isVisible());
    QVERIFY(!dlg->Page(0)->isVisible());
    QCOMPARE(dlg->GetFrameColour(), QColor(128, 255, 191));
    QCOMPARE(dlg->GetCaptionTextColour(), QColor(0, 127, 63));
    QCOMPARE(PixelAt(dlg.get(), QPoint(1, 1)), QColor(128, 255, 191));
    // The page fills the panel with its own colour.
    auto* page = static_cast<CAVIBase*>(dlg->Page(5));
    QCOMPARE(page->BackgroundColour(), QColor(128, 255, 191));
    QCOMPARE(page->geometry(), dlg->Client()->findChild<QWidget*>("1013")->geometry());

    // Every page's colour, each its own, and the MOV link page's frame.
    const QColor colours[] = {{255, 128, 128}, {255, 191, 128}, {255, 255, 128}, {191, 255, 128},
                              {128, 255, 128}, {128, 255, 191}, {128, 255, 255}, {128, 191, 255},
                              {128, 128, 255}, {192, 128, 255}, {255, 128, 255}, {255, 192, 224},
                              {255, 128, 192}, {224, 192, 255}};
    static_assert(std::size(colours) == CTrelvanDlg::kPageCount);
    for (int i = 0; i < CTrelvanDlg::kPageCount; ++i) {
        QCOMPARE(CTrelvanDlg::PageColour(i), colours[i]);
        QCOMPARE(dlg->PageButton(i)->FaceColour(), colours[i]);
    }
    QSet<QRgb> distinct;
    for (const QColor& c : colours) {
        distinct.insert(c.rgb());
    }
    QCOMPARE(distinct.size(), CTrelvanDlg::kPageCount);
    QCOMPARE(CTrelvanDlg::PageColour(CTrelvanDlg::kPageCount), QColor(0, 0, 0));
    dlg->SelectPage(12);
    QCOMPARE(dlg->GetFrameColour(), QColor(255, 128, 192));
    QVERIFY(dlg->Page(12)->isVisible());
    QCOMPARE(PixelAt(dlg.get(), QPoint(dlg->width() - 2, 1)), QColor(255, 128, 192));
}

void MainWindowTest::unbuiltPagesAreDisabledWithATooltip() {
    auto dlg = MakeWindow();
    const QStringList english = {"V-A Separate", "V-A Unite",   "Movie Link",   "Movie Extra",
                                 "Audio Link",   "Audio Extra", "V-A Separate", "V-A Unite",
                                 "Movie Link",   "Movie Extra", "V-A Separate", "V-A Unite",
                                 "Movie Link",   "Movie Extra"};
    for (int i = 0; i < CTrelvanDlg::kPageCount; ++i) {
        CColorButton* b = dlg->PageButton(i);
        QCOMPARE(b->text(), english[i]);
        QCOMPARE(dlg->PageName(i), english[i]);
        QCOMPARE(b->isEnabled(), CTrelvanDlg::PageIsBuilt(i));
        if (!CTrelvanDlg::PageIsBuilt(i)) {
            QVERIFY(b->toolTip().contains("coming"));
        }
    }
    QVERIFY(CTrelvanDlg::PageIsBuilt(5));
}

void MainWindowTest::dropOnButtonRowReachesVisiblePage() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    auto dlg = MakeWindow();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    dlg->SelectPage(5);
    shelltest::BoxCapture capture;  // the made-up file cannot be read
    // On the top row's first page button, on the bottom row, on the frame.
    const QPoint onButton = dlg->PageButton(0)->mapTo(dlg.get(), QPoint(5, 5));
    const QPoint onBottomButton = dlg->PageButton(8)->mapTo(dlg.get(), QPoint(5, 5));
    QVERIFY(shelltest::DropFiles(dlg.get(), onButton, {dir + "/a.wav"}));
    QCOMPARE(dlg->Page(5)->findChild<QLineEdit*>("1040")->text(), QString());
    QCOMPARE(capture.boxes.size(), 1);  // the page tried to read it
    QVERIFY(shelltest::DropFiles(dlg.get(), onBottomButton, {dir + "/b.txt"}));
    QCOMPARE(capture.boxes.size(), 1);  // another extension: ignored
    QVERIFY(shelltest::DropFiles(dlg.get(), QPoint(1, 1), {dir + "/c.avi"}));
    QCOMPARE(capture.boxes.size(), 2);
    // The hidden pages saw nothing.
    QCOMPARE(dlg->Page(3)->findChild<QLineEdit*>("1040")->text(), QString());
}

void MainWindowTest::closeButtonActsOnlyWhenReleasedOnIt() {
    auto dlg = MakeWindow();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    const QPoint close = dlg->ButtonRect(CBaseFrameColorDialog::kClose).center();
    QTest::mousePress(dlg.get(), Qt::LeftButton, Qt::NoModifier, close);
    QCOMPARE(dlg->PressedButton(), int(CBaseFrameColorDialog::kClose));
    QTest::mouseMove(dlg.get(), QPoint(100, 100));
    QCOMPARE(dlg->PressedButton(), int(CBaseFrameColorDialog::kNone));
    QTest::mouseRelease(dlg.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QVERIFY(dlg->isVisible());
    // Pressed and released on it: closes.
    QTest::mouseClick(dlg.get(), Qt::LeftButton, Qt::NoModifier, close);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->result(), int(QDialog::Rejected));
}

void MainWindowTest::minimiseAndMaximiseImages() {
    auto dlg = MakeWindow();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    const QSize size = dlg->size();
    QTest::mouseClick(dlg.get(), Qt::LeftButton, Qt::NoModifier,
                      dlg->ButtonRect(CBaseFrameColorDialog::kMaximise).center());
    QVERIFY(dlg->isVisible());
    QVERIFY(!dlg->isMaximized());
    QCOMPARE(dlg->size(), size);
    QTest::mouseClick(dlg.get(), Qt::LeftButton, Qt::NoModifier,
                      dlg->ButtonRect(CBaseFrameColorDialog::kMinimise).center());
    QVERIFY(dlg->isMinimized());
}

void MainWindowTest::closeIsRefusedWhilePageRuns() {
    for (auto lang : {trelvan::LanguageChoice::English, trelvan::LanguageChoice::Japanese}) {
        trelvan::SetLanguageOverride(lang);
        auto dlg = MakeWindow();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        auto* page = static_cast<CAVIBase*>(dlg->Page(5));
        page->Context().stop.store(0);  // the running state
        shelltest::BoxCapture capture;
        QTest::mouseClick(dlg.get(), Qt::LeftButton, Qt::NoModifier,
                          dlg->ButtonRect(CBaseFrameColorDialog::kClose).center());
        dlg->close();  // the window manager's close takes the same check
        QVERIFY(dlg->isVisible());
        QCOMPARE(capture.boxes.size(), 2);
        const QString expected = lang == trelvan::LanguageChoice::English
                                     ? QString("Audio Extra Going")
                                     : QString::fromUtf8("音声抽出 Going");
        QCOMPARE(capture.boxes[0].text, expected);
        QVERIFY(!capture.boxes[0].information);
        page->Context().stop.store(1);
        dlg->close();
        QVERIFY(!dlg->isVisible());
    }
}

void MainWindowTest::enterAndEscapeDoNothing() {
    auto dlg = MakeWindow();
    dlg->SelectPage(5);
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QWidget* page = dlg->Page(5);
    QWidget* start = page->findChild<QWidget*>("1029");
    for (QWidget* target : {static_cast<QWidget*>(dlg.get()), page, start}) {
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(target, Qt::Key(key));
            QVERIFY(dlg->isVisible());
            QVERIFY(page->isVisible());
        }
    }
    // Enter on the focused Start did not start anything (no error box).
    QCOMPARE(page->findChild<QLabel*>("1034")->text(), QString("Info"));
}

void MainWindowTest::japaneseCaptions() {
    trelvan::SetLanguageOverride(trelvan::LanguageChoice::Japanese);
    auto dlg = MakeWindow();
    const char* japanese[] = {"映像音声分離", "映像音声合体", "動画連結",     "動画抽出",
                              "音声連結",     "音声抽出",     "映像音声分離", "映像音声合体",
                              "動画連結",     "動画抽出",     "映像音声分離", "映像音声合体",
                              "動画連結",     "動画抽出"};
    for (int i = 0; i < CTrelvanDlg::kPageCount; ++i) {
        QCOMPARE(dlg->PageButton(i)->text(), QString::fromUtf8(japanese[i]));
    }
    QCOMPARE(dlg->PageName(5), QString::fromUtf8("音声抽出"));
}

// AVI and audio at the top; WMV and then MOV in rows of four below the
// panel, each row led by its label; every button inside the window, clear of
// the others and wide enough for its caption, in both languages.
void MainWindowTest::threeRowsOfButtonsUnderTheirLabels() {
    struct Row {
        const char* label;
        int first, last;
    };
    const Row rows[] = {{"AVI", 0, 5}, {"WMV", 6, 9}, {"MOV", 10, 13}};
    for (auto lang : {trelvan::LanguageChoice::English, trelvan::LanguageChoice::Japanese}) {
        trelvan::SetLanguageOverride(lang);
        auto dlg = MakeWindow();
        QWidget* client = dlg->Client();
        const QRect panel = client->findChild<QWidget*>("1013")->geometry();
        int previousTop = -1;
        for (const Row& row : rows) {
            QLabel* label = nullptr;
            for (QLabel* l : client->findChildren<QLabel*>()) {
                label = l->text() == row.label ? l : label;
            }
            QVERIFY2(label, row.label);
            QCOMPARE(label->x(), 0);
            QVERIFY(label->geometry().top() > previousTop);
            previousTop = label->geometry().top();
            for (int i = row.first; i <= row.last; ++i) {
                const QRect r = dlg->PageButton(i)->geometry();
                QCOMPARE(r.top(), label->geometry().top());
                QVERIFY(r.left() >= label->geometry().right());
                QVERIFY(client->rect().contains(r.adjusted(0, 0, -2, -2)));
                QVERIFY(row.first == 0 ? r.bottom() <= panel.top() + 2
                                       : r.top() >= panel.bottom() - 2);
                const CColorButton* b = dlg->PageButton(i);
                QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) <= r.width(),
                         qPrintable(b->text()));
                for (int j = 0; j < CTrelvanDlg::kPageCount; ++j) {
                    // (The layout lets neighbours share an edge of a dialog unit.)
                    QVERIFY(j == i || r.intersected(dlg->PageButton(j)->geometry()).width() <= 2);
                }
            }
        }
    }
}

void MainWindowTest::f10OpensAboutBox() {
    auto* app = CTrelvanApp::Instance();
    QVERIFY2(app->ResourcesLoaded(), "Res.rcc beside the test binary");
    auto dlg = MakeWindow();
    dlg->SelectPage(5);
    app->SetAcceleratorWindow(dlg.get());
    dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    QString seen;
    QTimer::singleShot(0, [&] {
        if (auto* about = qobject_cast<CMyAboutDlg*>(QApplication::activeModalWidget())) {
            seen = about->findChild<QLabel*>("1032")->text();
            about->done(QDialog::Accepted);
        }
    });
    // From inside a page's field.
    QTest::keyClick(dlg->Page(5)->findChild<QWidget*>("1054"), Qt::Key_F10);
    QVERIFY(seen.contains(" Version "));
    app->SetAcceleratorWindow(nullptr);
}

void MainWindowTest::aboutBoxClosesWithEscapeAndReturn() {
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        CMyAboutDlg about;
        about.SetAnimate(false);
        about.CreatePage(nullptr);
        QTimer::singleShot(0, [&about, key] { QTest::keyClick(&about, key); });
        QTimer::singleShot(5000, [&about] { about.done(QDialog::Rejected); });  // not closed
        QCOMPARE(about.exec(), int(QDialog::Accepted));
    }
}

// IPAGothic, the system's usual face for Japanese, sets Latin letters all
// one width; the interface takes the proportional IPAPGothic where it is.
void MainWindowTest::interfaceFontIsProportional() {
    QCOMPARE(InterfaceFamilies("DejaVu Sans").value(0), QString("DejaVu Sans"));
    const QStringList ipa = InterfaceFamilies("IPAGothic");
    QVERIFY(!ipa.contains("IPAGothic"));
    if (QFontDatabase::hasFamily("IPAPGothic")) {
        QCOMPARE(ipa.value(0), QString("IPAPGothic"));
        QVERIFY(QApplication::font().families().contains("IPAPGothic"));
    }
}

void MainWindowTest::helpOpensHelpPageBesideProgram() {
    auto* app = CTrelvanApp::Instance();
    QStringList opened;
    app->SetOpenHook([&](const QString& t) { opened << t; });
    auto dlg = MakeWindow();
    dlg->SelectPage(5);
    // The page's menu (a right click) starts with Help, About, a separator.
    QMenu* menu = static_cast<CBaseDialog*>(dlg->Page(5))->BuildSysMenu(nullptr);
    QCOMPARE(menu->actions().size(), 3);
    QCOMPARE(menu->actions()[0]->text(), QString("Help\tF1"));
    QCOMPARE(menu->actions()[1]->text(), QString("About...\tF10"));
    QVERIFY(menu->actions()[2]->isSeparator());
    menu->actions()[0]->trigger();
    delete menu;
    app->SetOpenHook({});
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened[0], QString::fromStdString(trelvan::ProgramDir()) + "trelvan.html");
    QVERIFY(QFile::exists(opened[0]));
}

void MainWindowTest::aboutBoxVersionText() {
    QCOMPARE(CMyAboutDlg::VersionText(3, 3, 2), QString("3.32"));
    QCOMPARE(CMyAboutDlg::VersionText(1, 0, 0), QString("1.00"));
    CMyAboutDlg about;
    about.SetAnimate(false);
    about.CreatePage(nullptr);
    QVERIFY(about.findChild<QLabel*>("1032")->text().endsWith(" Version 1.00"));
    QVERIFY(!about.mask().isEmpty());  // elliptical
    QVERIFY(!about.mask().contains(QPoint(3, 3)));

    // OK plays the closing animation, then ends the box with OK.
    CMyAboutDlg animated;
    animated.CreatePage(nullptr);
    QTimer::singleShot(
        0, [&] { QTest::mouseClick(animated.findChild<QWidget*>("1"), Qt::LeftButton); });
    QCOMPARE(animated.exec(), int(QDialog::Accepted));
}

void MainWindowTest::aboutLinkOpensHelpPageBesideProgram() {
    auto* app = CTrelvanApp::Instance();
    QStringList opened;
    app->SetOpenHook([&](const QString& t) { opened << t; });
    CMyAboutDlg about;
    about.SetAnimate(false);
    about.CreatePage(nullptr);
    QTest::mouseClick(about.findChild<QWidget*>("1018"), Qt::LeftButton);
    app->SetOpenHook({});
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened[0], QCoreApplication::applicationDirPath() + "/trelvan.html");
    QVERIFY(QFile::exists(opened[0]));
}

// The company key: RegPos of [SAVE] in Setting.ini beside the program,
// "ZORIT" without the file.
void MainWindowTest::companyKeyFromSettingIni() {
    auto* app = CTrelvanApp::Instance();
    const QString ini = QCoreApplication::applicationDirPath() + "/Setting.ini";
    QVERIFY2(!QFile::exists(ini), "no Setting.ini beside the test program");
    struct Case {
        const char* contents;  // nullptr: no file
        const char* key;
    };
    const Case cases[] = {
        {nullptr, "ZORIT"},
        {"[SAVE]\nRegPos=Other\n", "Other"},
        {"[OTHER]\nRegPos=Elsewhere\n", "ZORIT"},
    };
    for (const Case& c : cases) {
        if (c.contents) {
            trelvan::test::WriteBytes(
                ini.toStdString(),
                std::vector<uint8_t>(c.contents, c.contents + strlen(c.contents)));
        }
        app->SetupApplication();
        QFile::remove(ini);
        QCOMPARE(app->CompanyKey(), QString(c.key));
        QCOMPARE(QCoreApplication::organizationName(), QString(c.key));
    }
    app->SetupApplication();
}

// Files dropped on any control of a page (path fields, range fields, labels,
// buttons, the bar) reach the page as a drop, and no field takes the path
// as typed text.
void MainWindowTest::fileDroppedOnAnyControlOfAPageReachesThePage() {
    const QString dir = QString::fromStdString(trelvan::test::ScratchDir());
    const QString dropped = dir + "/none.avi";  // made up: the extract pages fail to read it
    auto dlg = MakeWindow();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    for (int index : {3, 5, 0}) {  // AVI extract, audio extract, AVI separate
        dlg->SelectPage(index);
        QWidget* page = dlg->Page(index);
        int controls = 0;
        for (QWidget* control : page->findChildren<QWidget*>()) {
            if (!control->isVisible() || control->width() < 2) {
                continue;
            }
            static_cast<CBaseDialog*>(page)->SetItemText(1003, "");
            const QPoint at = control->mapTo(dlg.get(), control->rect().center());
            shelltest::BoxCapture capture;
            const QString where =
                QString("page %1, control %2").arg(index).arg(control->objectName());
            QVERIFY2(shelltest::DropFiles(dlg.get(), at, {dropped}), qPrintable(where));
            if (index == 0) {
                QCOMPARE(static_cast<CBaseDialog*>(page)->ItemText(1003), dropped);  // the source
            } else {
                QCOMPARE(capture.boxes.size(), 1);  // the page tried to read it
                QCOMPARE(capture.boxes[0].caption, QString::fromUtf8("エラーNo.1002"));
            }
            for (QLineEdit* field : page->findChildren<QLineEdit*>()) {
                QVERIFY2(!field->text().contains("file:"), qPrintable(where));
            }
            ++controls;
        }
        QVERIFY(controls >= 8);
    }
}

SHELL_TEST(MainWindowTest);
#include "MainWindowTest.moc"
