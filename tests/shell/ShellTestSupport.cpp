#include "ShellTestSupport.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <map>
#include <unistd.h>

#include "Fixtures.h"
#include <string>

#include <QPushButton>
#include <QTest>

#include "CAVIBase.h"
#include "CColorButton.h"
#include "ErrorText.h"
#include "IniCreate.h"
#include "IoFile.h"
#include "Language.h"
#include "MovResult.h"
#include "RegFile.h"

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

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    m_file = std::tmpfile();
    m_saved = ::dup(STDOUT_FILENO);
    ::dup2(::fileno(m_file), STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() {
    std::fflush(stdout);
    ::dup2(m_saved, STDOUT_FILENO);
    ::close(m_saved);
    std::fclose(m_file);
}

QString StdoutCapture::Text() const {
    std::fflush(stdout);
    std::string text;
    char buffer[4096];
    std::rewind(m_file);
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0;) {
        text.append(buffer, n);
    }
    return QString::fromStdString(text);
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

namespace {
// A source file whose reads fail from the moment `broken` is set.
class BreakingFile : public trelvan::IoFile {
  public:
    BreakingFile(std::unique_ptr<trelvan::IoFile> inner, std::shared_ptr<bool> broken)
        : m_inner(std::move(inner)), m_broken(std::move(broken)) {}
    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        return *m_broken ? -1 : m_inner->ReadAt(offset, buf, n);
    }
    bool WriteAt(uint64_t, const void*, size_t) override { return false; }
    int64_t Size() override { return m_inner->Size(); }
    bool Truncate(uint64_t) override { return false; }
    bool Close() override { return m_inner->Close(); }

  private:
    std::unique_ptr<trelvan::IoFile> m_inner;
    std::shared_ptr<bool> m_broken;
};
}  // namespace

std::shared_ptr<bool> BreakReadsAfterVideo(CAVIBase* page) {
    auto broken = std::make_shared<bool>(false);
    trelvan::OpContext& ctx = page->Context();
    ctx.opener = [broken](const std::string& path,
                          trelvan::OpenMode mode) -> std::unique_ptr<trelvan::IoFile> {
        auto inner = trelvan::DiskFileOpener()(path, mode);
        if (!inner || mode != trelvan::OpenMode::Read) {
            return inner;
        }
        return std::make_unique<BreakingFile>(std::move(inner), broken);
    };
    // The work moves `current` past `last` with the video's last frame.
    ctx.pump = [&ctx, broken] {
        *broken = *broken || ctx.current.load() > ctx.last.load();
        trelvan::shell::PumpPendingMessages();
    };
    return broken;
}

QString LinkSource(int i) {
    static const char* const kSeconds[] = {"1", "2", "1.5"};
    const std::string d = kSeconds[i % 3];
    return QString::fromStdString(trelvan::test::MakeMedia(
        "page-link-" + std::to_string(i),
        "-f lavfi -i testsrc=d=" + d +
            ":s=64x48:r=10 -f lavfi -i sine=f=" + std::to_string(300 + 100 * i) + ":d=" + d +
            ":r=8000 -c:v mpeg4 -g 5 -c:a pcm_s16le -f avi",
        "avi"));
}

PageWindow::PageWindow(int index) {
    dlg.CreatePage(nullptr);
    dlg.show();
    QTest::mouseClick(dlg.PageButton(index), Qt::LeftButton);
    page = static_cast<CAVIBase*>(dlg.Page(index));
}

QString PageWindow::Field(int id) const {
    return page->ItemText(id);
}

void PageWindow::Click(int id) {
    QTest::mouseClick(page->Item<QPushButton>(id), Qt::LeftButton);
}

bool PageWindow::Drop(const QString& path) {
    return DropFiles(&dlg, QPoint(1, 1), {path});
}

void ExpectCaptions(int index, std::initializer_list<Caption> captions) {
    for (bool ja : {false, true}) {
        trelvan::SetLanguageOverride(ja ? trelvan::LanguageChoice::Japanese
                                        : trelvan::LanguageChoice::English);
        PageWindow w(index);
        QVERIFY(w.dlg.PageButton(index)->isEnabled());
        for (const Caption& c : captions) {
            QCOMPARE(w.Field(c.id), QString::fromUtf8(ja ? c.japanese : c.english));
        }
    }
    trelvan::SetLanguageOverride(trelvan::LanguageChoice::System);
}

QString MovieWithSound() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "page-movie-av",
        "-f lavfi -i testsrc=d=1:s=64x48:r=10 -f lavfi -i sine=f=440:d=1:r=22050 -c:v mpeg4 "
        "-g 5 -c:a aac -b:a 32k",
        "mov"));
}

QString MovieWithoutSound() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "page-movie-v", "-f lavfi -i testsrc=d=1:s=64x48:r=10 -c:v mpeg4 -g 5", "mov"));
}

QString SoundOnlyMovie() {
    return QString::fromStdString(trelvan::test::MakeMedia(
        "page-movie-a", "-f lavfi -i sine=f=660:d=1:r=22050 -c:a aac -b:a 32k", "m4a"));
}

int32_t BoxCode(const trelvan::shell::MessageBoxRequest& box) {
    const QString head = QString::fromUtf8("エラーNo.");
    return box.caption.startsWith(head) ? box.caption.mid(head.size()).toInt() : 0;
}

void ClearPageSettings() {
    const std::string config = trelvan::UserConfigDir();
    if (!config.empty()) {
        std::remove((config + "/" + trelvan::ReadRegPos() + "/PageSettings.reg").c_str());
    }
}

}  // namespace shelltest
