#include "CTrelvanApp.h"

#include <QFileInfo>
#include <QUrl>
#include <cstdio>

#include "CMyAboutDlg.h"
#include "CTrelvanDlg.h"
#include "PageUtil.h"

CTrelvanApp::CTrelvanApp(int& argc, char** argv) : CBaseApp(argc, argv) {}

int CTrelvanApp::Run(const QStringList& files) {
    SetupApplication();
    CTrelvanDlg dlg;
    dlg.CreatePage(nullptr);
    SetAcceleratorWindow(&dlg);
    for (const QString& f : files) {
        // A name as the shell gives it (relative to the working folder) or a
        // file URL; the page gets the whole path.
        const QUrl url(f);
        const QString path =
            QFileInfo(url.isLocalFile() ? url.toLocalFile() : f).absoluteFilePath();
        if (!dlg.Takes(path)) {
            std::fprintf(
                stderr, "trelvan: %s: %s\n", qPrintable(path),
                qPrintable(trelvan::shell::Lang("no page opens this kind of file",
                                                "このファイルの種類を開くページはありません")));
            continue;
        }
        dlg.OnFileDropped(path);
    }
    dlg.exec();
    return 0;
}

void CTrelvanApp::OnHelp() {
    OpenProgramFile(kHelpFile);
}

void CTrelvanApp::OnAppAbout() {
    if (!ResourcesLoaded()) {
        return;  // without the bundle there is no about box
    }
    CMyAboutDlg about;
    about.CreatePage(nullptr);
    about.exec();
}
