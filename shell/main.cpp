// trelvan: the desktop program.
#include <QStringList>

#include "CTrelvanApp.h"
#include "ProcessLimits.h"

int main(int argc, char** argv) {
    trelvan::RaiseOpenFileLimit();
    CTrelvanApp app(argc, argv);
    QStringList files = QCoreApplication::arguments();
    files.removeFirst();  // files handed over by the desktop ("Open with")
    return app.Run(files);
}
