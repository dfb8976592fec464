// trelvan: the desktop program.
#include <QStringList>

#include "CTrelvanApp.h"

int main(int argc, char** argv) {
    CTrelvanApp app(argc, argv);
    QStringList files = QCoreApplication::arguments();
    files.removeFirst();  // files handed over by the desktop ("Open with")
    return app.Run(files);
}
