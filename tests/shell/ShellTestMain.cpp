// Runs the desktop program's Qt tests on the offscreen platform inside the
// program's own application object.
#include <QTest>
#include <cstdio>
#include <map>
#include <string>

#include "CTrelvanApp.h"
#include "ShellTestSupport.h"

namespace shelltest {
std::map<std::string, Factory>& Registry();
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    CTrelvanApp app(argc, argv);
    app.SetupApplication();
    std::string only = argc > 1 ? argv[1] : "";
    int failed = 0;
    int ran = 0;
    for (auto& [name, factory] : shelltest::Registry()) {
        if (!only.empty() && name != only) {
            continue;
        }
        std::unique_ptr<QObject> test = factory();
        const char* args[] = {argv[0]};
        failed += QTest::qExec(test.get(), 1, const_cast<char**>(args));
        ++ran;
    }
    if (ran == 0) {
        std::fprintf(stderr, "no test class named %s\n", only.c_str());
        return 2;
    }
    return failed == 0 ? 0 : 1;
}
