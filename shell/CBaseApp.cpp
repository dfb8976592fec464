#include "CBaseApp.h"

#include <QDesktopServices>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QResource>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "IniCreate.h"
#include "Language.h"

// The program's own images are compiled into the shell library.
static void InitProgramResources() {
    Q_INIT_RESOURCE(trelvan);
}

CBaseApp::CBaseApp(int& argc, char** argv) : QApplication(argc, argv) {
    InitProgramResources();
}

CBaseApp::~CBaseApp() {
    if (m_resLoaded) {
        QResource::unregisterResource(m_resPath);
    }
}

QStringList InterfaceFamilies(const QString& systemFamily) {
    QStringList families;
    const bool even = QFontDatabase::isFixedPitch(systemFamily) ||
                      systemFamily.compare("IPAGothic", Qt::CaseInsensitive) == 0;
    if (!even) {
        families << systemFamily;
    }
    for (const char* face : {"IPAPGothic", "Noto Sans CJK JP"}) {
        if (QFontDatabase::hasFamily(face)) {
            families << face;
        }
    }
    if (families.isEmpty()) {
        families << systemFamily;  // nothing better here
    }
    return families;
}

CBaseApp* CBaseApp::Instance() {
    return qobject_cast<CBaseApp*>(QCoreApplication::instance());
}

void CBaseApp::SetupApplication() {
    setApplicationName("Trelvan+");
    setApplicationDisplayName("Trelvan+");
    setDesktopFileName("trelvan");
    // The company key: where the codec settings store keeps its values.
    m_companyKey = QString::fromStdString(trelvan::ReadRegPos());
    setOrganizationName(m_companyKey);
    // The resource bundle beside the executable (about box images).
    m_resPath = QString::fromStdString(trelvan::ProgramDir()) + "Res.rcc";
    m_resLoaded = QResource::registerResource(m_resPath);
    // A proportional user-interface font of the dialogs' size. Japanese
    // glyphs come from a proportional Japanese face where one is installed:
    // the system's own choice for Japanese is often IPAGothic, whose Latin
    // letters and digits are all one width.
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPointSize(9);
    f.setFamilies(InterfaceFamilies(f.family()));
    setFont(f);
    setWindowIcon(QIcon(":/trelvan/128.png"));
    // The texts Qt draws itself (the file dialogs' columns, tooltips and
    // menus, the edit fields' context menus) in Japanese on a Japanese
    // system, from Qt's own translation when it is installed
    // (qt6-translations-l10n); the program's texts do not depend on it.
    if (trelvan::IsJapaneseSystem() &&
        m_qtTexts.load("qtbase_ja", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(&m_qtTexts);
    }
    installEventFilter(this);
}

void CBaseApp::OpenProgramFile(const QString& name) {
    OpenInShell(QString::fromStdString(trelvan::ProgramDir()) + name);
}

void CBaseApp::OpenInShell(const QString& target) {
    if (m_openHook) {
        m_openHook(target);
        return;
    }
    const QUrl url = target.contains("://") ? QUrl(target) : QUrl::fromLocalFile(target);
    // Started from the event loop so the caller never waits for the viewer.
    QTimer::singleShot(0, this, [url] { QDesktopServices::openUrl(url); });
}

bool CBaseApp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && m_acceleratorWindow) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* w = qobject_cast<QWidget*>(watched);
        const bool inMainWindow = w && w->window() == m_acceleratorWindow;
        if (inMainWindow && key->modifiers() == Qt::NoModifier && !key->isAutoRepeat()) {
            if (key->key() == Qt::Key_F10) {
                OnAppAbout();
                return true;
            }
            if (key->key() == Qt::Key_F1) {
                OnHelp();
                return true;
            }
        }
    }
    return QApplication::eventFilter(watched, event);
}
