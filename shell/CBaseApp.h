#pragma once

#include <QApplication>
#include <QPointer>
#include <QStringList>
#include <QTranslator>
#include <QWidget>
#include <functional>

// The application: prepares the program (name, company key from
// Setting.ini, the resource bundle Res.rcc beside the executable, the F10
// accelerator) and carries the two commands every window can reach, Help and
// About.
// The font families of the interface, first choice first: the system's
// interface family unless it is one whose letters are all one width, then
// the installed proportional Japanese faces (IPAPGothic, Noto Sans CJK JP).
QStringList InterfaceFamilies(const QString& systemFamily);

class CBaseApp : public QApplication {
    Q_OBJECT
  public:
    CBaseApp(int& argc, char** argv);
    ~CBaseApp() override;

    static CBaseApp* Instance();

    // Program set-up: names, the company key ("RegPos" of section "SAVE" of
    // Setting.ini, "ZORIT" by default), the resource bundle, the font.
    virtual void SetupApplication();
    // Opens a file of the program's folder in the desktop's viewer.
    virtual void OpenProgramFile(const QString& name);
    // Opens a path or web address in the desktop's default viewer, without
    // waiting and without reporting a failure.
    void OpenInShell(const QString& target);

    virtual void OnHelp() {}
    virtual void OnAppAbout() {}

    // The window whose keys the accelerators serve (F10 about, F1 help).
    void SetAcceleratorWindow(QWidget* window) { m_acceleratorWindow = window; }
    // Whether Res.rcc was found and registered.
    bool ResourcesLoaded() const { return m_resLoaded; }
    QString CompanyKey() const { return m_companyKey; }

    // Tests see what would be opened instead of a viewer starting.
    using OpenHook = std::function<void(const QString&)>;
    void SetOpenHook(OpenHook hook) { m_openHook = std::move(hook); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> m_acceleratorWindow;
    bool m_resLoaded = false;
    QString m_resPath;
    QString m_companyKey;
    QTranslator m_qtTexts;
    OpenHook m_openHook;
};
