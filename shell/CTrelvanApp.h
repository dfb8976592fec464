#pragma once

#include "CBaseApp.h"

class CTrelvanDlg;

// The program: runs the main window until it closes.
class CTrelvanApp : public CBaseApp {
    Q_OBJECT
  public:
    CTrelvanApp(int& argc, char** argv);

    // Sets up, shows the main window (with files named on the command line
    // handed to its visible page as drops) and returns when it closes.
    int Run(const QStringList& files);

    // Help: trelvan.html from the program's folder.
    void OnHelp() override;
    // About: the about box, when the resource bundle is there.
    void OnAppAbout() override;

    static constexpr const char* kHelpFile = "trelvan.html";
};
