// trelvan-screenshots: renders the main window with each page whose
// operation is built, in English and in Japanese, to PNG files in a folder
// (default build/screenshots), so the program can be looked at without a
// display: QT_QPA_PLATFORM=offscreen trelvan-screenshots DIR [FILE]
// With FILE, it is dropped on each page first (as a user would).
#include <QDir>
#include <QPixmap>
#include <cstdio>

#include "CTrelvanApp.h"
#include "CTrelvanDlg.h"
#include "Language.h"

int main(int argc, char** argv) {
    CTrelvanApp app(argc, argv);
    app.SetupApplication();
    const QStringList args = QCoreApplication::arguments();
    const QString dir = args.size() > 1 ? args[1] : QString("build/screenshots");
    const QString dropped = args.size() > 2 ? args[2] : QString();
    QDir().mkpath(dir);
    struct Lang {
        trelvan::LanguageChoice choice;
        const char* tag;
    };
    const Lang langs[] = {{trelvan::LanguageChoice::English, "en"},
                          {trelvan::LanguageChoice::Japanese, "ja"}};
    int written = 0;
    for (const Lang& lang : langs) {
        trelvan::SetLanguageOverride(lang.choice);
        CTrelvanDlg dlg;
        dlg.CreatePage(nullptr);
        dlg.show();
        for (int i = 0; i < CTrelvanDlg::kPageCount; ++i) {
            if (!CTrelvanDlg::PageIsBuilt(i)) {
                continue;
            }
            dlg.SelectPage(i);
            if (!dropped.isEmpty()) {
                dlg.OnFileDropped(dropped);
            }
            QCoreApplication::processEvents();
            const QString name =
                QString("%1/page%2-%3.png").arg(dir).arg(i, 2, 10, QChar('0')).arg(lang.tag);
            if (dlg.grab().save(name)) {
                std::printf("%s\n", name.toUtf8().constData());
                ++written;
            }
        }
        dlg.hide();
    }
    return written > 0 ? 0 : 1;
}
