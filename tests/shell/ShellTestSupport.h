#pragma once

#include <initializer_list>

#include <QList>
#include <QObject>
#include <QPoint>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <memory>

#include "CTrelvanDlg.h"
#include "PageUtil.h"

class CAVIBase;
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

// Captures the message boxes shown while it lives instead of showing them;
// a question is answered with `answer` (true: OK).
class BoxCapture {
  public:
    BoxCapture();
    ~BoxCapture();
    QList<trelvan::shell::MessageBoxRequest> boxes;
    bool answer = true;
};

// Captures what the process writes to standard output while it lives (the
// pages print the operations' warnings there).
class StdoutCapture {
  public:
    StdoutCapture();
    ~StdoutCapture();
    // What was written so far.
    QString Text() const;

  private:
    int m_saved = -1;
    FILE* m_file = nullptr;
};

// Drags files over a point of a window and drops them there as a file
// manager does (the paths as URLs and as text): enter, move and drop events
// go to the innermost widget under the point, and Qt hands each on to the
// parents until one takes it. Returns whether someone took the drop.
bool DropFiles(QWidget* window, QPoint at, const QStringList& files);

// Makes every source the page opens from now on fail its reads once the
// video of the source being copied is done (a disk unplugged in the middle
// of the work), through the page's file opener. The flag tells whether it
// came to that.
std::shared_ptr<bool> BreakReadsAfterVideo(CAVIBase* page);

// Small AVI files for the link pages: 10, 20 and 15 frames (i = 0, 1, 2,
// then again) of MPEG-4 with PCM audio, each its own tone. Made once.
QString LinkSource(int i);

// The MOV row's pages.
enum MovPageIndex { kMovSeparate = 10, kMovUnite = 11, kMovLink = 12, kMovExtract = 13 };

// The main window on one page, shown, with the page's fields and buttons.
struct PageWindow {
    explicit PageWindow(int index);
    QString Field(int id) const;
    void Click(int id);
    // Drops one file on the window's corner; whether the window took it.
    bool Drop(const QString& path);
    CTrelvanDlg dlg;
    CAVIBase* page = nullptr;
};

// A field's caption in both languages.
struct Caption {
    int id;
    const char* english;
    const char* japanese;
};
// Opens page `index` in English, then in Japanese, and compares each field
// with its caption (the language is back to the system's afterwards).
void ExpectCaptions(int index, std::initializer_list<Caption> captions);

// Small movies made once for the MOV pages, 1 s each: MPEG-4 video with AAC
// sound (MOV), the video alone (MOV), the sound alone (M4A).
QString MovieWithSound();
QString MovieWithoutSound();
QString SoundOnlyMovie();

// The code in the caption of an error box ("エラーNo.-2009"), or 0.
int32_t BoxCode(const trelvan::shell::MessageBoxRequest& box);
// Empties the pages' settings store (the Verify boxes), as the tests found it.
void ClearPageSettings();

}  // namespace shelltest
