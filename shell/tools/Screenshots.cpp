// trelvan-screenshots: renders the main window with each page whose
// operation is built, in English and in Japanese, to PNG files in a folder
// (default build/screenshots), so the program can be looked at without a
// display: QT_QPA_PLATFORM=offscreen trelvan-screenshots DIR [FILE...]
// Each FILE is dropped on each page first, in order (as a user would; a page
// ignores the kinds it does not take); a FILE written N:PATH is dropped on
// page N alone (0 to 13 in button order), for the pages that take the same
// kind of file but want different ones.
#include <QDir>
#include <QPixmap>
#include <QRegularExpression>
#include <cstdio>

#include "CTrelvanApp.h"
#include "CTrelvanDlg.h"
#include "Language.h"

int main(int argc, char** argv) {
    CTrelvanApp app(argc, argv);
    app.SetupApplication();
    const QStringList args = QCoreApplication::arguments();
    const QString dir = args.size() > 1 ? args[1] : QString("build/screenshots");
    struct Drop {
        int page;  // -1: every page
        QString path;
    };
    QList<Drop> drops;
    static const QRegularExpression pagePrefix("^([0-9]+):(.+)$");
    for (qsizetype i = 2; i < args.size(); ++i) {
        const QRegularExpressionMatch m = pagePrefix.match(args[i]);
        if (m.hasMatch()) {
            drops.append({m.captured(1).toInt(), m.captured(2)});
        } else {
            drops.append({-1, args[i]});
        }
    }
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
            for (const Drop& drop : drops) {
                if (drop.page < 0 || drop.page == i) {
                    dlg.OnFileDropped(drop.path);
                }
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
