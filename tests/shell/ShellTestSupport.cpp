#include "ShellTestSupport.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <map>
#include <string>

namespace shelltest {

std::map<std::string, Factory>& Registry() {
    static std::map<std::string, Factory> registry;
    return registry;
}

int Register(const char* name, Factory factory) {
    Registry()[name] = std::move(factory);
    return 0;
}

BoxCapture::BoxCapture() {
    trelvan::shell::SetMessageBoxHook([this](const trelvan::shell::MessageBoxRequest& r) {
        boxes << r;
        return answer;
    });
}

BoxCapture::~BoxCapture() {
    trelvan::shell::SetMessageBoxHook({});
}

bool DropFiles(QWidget* window, QPoint at, const QStringList& files) {
    QWidget* target = window->childAt(at);
    if (!target) {
        target = window;
    }
    QMimeData mime;
    QList<QUrl> urls;
    QStringList lines;
    for (const QString& f : files) {
        urls << QUrl::fromLocalFile(f);
        lines << urls.back().toString();
    }
    mime.setUrls(urls);
    mime.setText(lines.join("\r\n"));
    const QPoint local = target->mapFrom(window, at);
    QDragEnterEvent enter(local, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDragMoveEvent move(local, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(local), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

}  // namespace shelltest
