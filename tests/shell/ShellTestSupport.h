#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QStringList>
#include <functional>
#include <memory>

#include "PageUtil.h"

class QWidget;

// What the desktop program's tests share.
namespace shelltest {

// Test classes register themselves under their class name; main runs the
// one named on the command line (or all).
using Factory = std::function<std::unique_ptr<QObject>()>;
int Register(const char* name, Factory factory);

#define SHELL_TEST(Class)                 \
    static const int Class##_registered = \
        shelltest::Register(#Class, [] { return std::unique_ptr<QObject>(new Class); })

// Captures the message boxes shown while it lives instead of showing them.
class BoxCapture {
  public:
    BoxCapture();
    ~BoxCapture();
    QList<trelvan::shell::MessageBoxRequest> boxes;
};

// Drops files at a point of a window as the platform does: the widget under
// the point, or the nearest of its parents that accepts drops, gets the drag
// and the drop. Returns whether someone took it.
bool DropFiles(QWidget* window, QPoint at, const QStringList& files);

}  // namespace shelltest
