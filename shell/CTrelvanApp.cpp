#include "CTrelvanApp.h"

#include "CMyAboutDlg.h"
#include "CTrelvanDlg.h"

CTrelvanApp::CTrelvanApp(int& argc, char** argv) : CBaseApp(argc, argv) {}

int CTrelvanApp::Run(const QStringList& files) {
    SetupApplication();
    CTrelvanDlg dlg;
    dlg.CreatePage(nullptr);
    SetAcceleratorWindow(&dlg);
    for (const QString& f : files) {
        dlg.OnFileDropped(f);
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
