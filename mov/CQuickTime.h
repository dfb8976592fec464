#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "IoFile.h"
#include "MovieEditor.h"

// One movie with its controller, as the MOV link drives it: open, select
// all, copy to the scrap, go to the end, paste, go to the start, save as a
// self-contained file. Editing reports its result only through the layer's
// last-error value (toolbox::GetMoviesError), which the caller queries
// after each step; OpenMovie alone returns a success value.
//
// No window system is involved: the window and drawing steps keep their
// place in the order of calls but draw nothing.
namespace trelvan::mov {

// A rectangle as movie headers store boxes: top, left, bottom, right.
struct QtRect {
    int16_t top = 0, left = 0, bottom = 0, right = 0;
};

class CQuickTime {
public:
    // Starts the layer and its movie services (both counted; stopped again
    // by the destructor), all fields cleared.
    CQuickTime();
    ~CQuickTime();
    CQuickTime(const CQuickTime&) = delete;
    CQuickTime& operator=(const CQuickTime&) = delete;

    // 1 when the file was read as a movie, else 0 (the name is cleared).
    virtual int OpenMovie(const std::string& path);
    virtual void CloseMovie();
    virtual int CreateEmptyMovie();
    // Flattens the movie into `path`: the movie in the file itself, creator
    // 'TVOD', an existing file deleted first. A failure leaves no file.
    virtual void SaveMovieAs(const std::string& path);
    // No window events reach a controller here: never used.
    virtual bool HandleWindowEvent(uint32_t message, uintptr_t wparam, intptr_t lparam);
    // Remembers the (opaque) window and its parent; null does nothing.
    virtual int AttachWindow(void* window, void* parent = nullptr);
    virtual void DetachWindow();
    virtual int CreateController();
    virtual void CutSelection();
    virtual void CopySelection();
    virtual void Paste();
    virtual void ClearSelection();
    virtual void UndoEdit();
    virtual void SelectAll();
    virtual void GoToEnd();
    virtual void GoToStart();
    virtual int EnableEditing();
    // In place over a 256-byte buffer: a zero-terminated text becomes a
    // length byte and the characters (at most 255), and back.
    virtual void ToPascalString(char* text);
    virtual void ToCString(char* text);
    virtual int GetFrameWidth();
    virtual int GetFrameHeight();
    virtual int GetCaptionHeight();
    virtual void GetDesktopBounds(QtRect& bounds);
    virtual MovieEditor* GetMovie();
    // The name of a result code (see QtErrorName), also stored in `text`.
    virtual const std::string& GetErrorName(std::string& text, int32_t code);

    bool IsOpen() const { return m_open != 0; }
    // The path of the open movie, "Untitled" for a new one, "" when closed.
    // Any length: the 255-character limit of a length-prefixed name is not
    // this layer's.
    const std::string& Name() const { return m_name; }
    // How files are opened (tests inject faults here).
    void SetFileOpener(FileOpener opener) { m_opener = std::move(opener); }
    // Where the reader's warnings about a movie it opens go (damage it read
    // around, such as a file cut short), each line led by the path.
    void SetWarnHook(std::function<void(const std::string&)> warn) { m_warn = std::move(warn); }

private:
    int m_open = 0;
    std::unique_ptr<MovieEditor> m_movie;
    bool m_controller = false;
    QtRect m_box;
    std::string m_name;
    void* m_parent = nullptr;
    void* m_window = nullptr;
    FileOpener m_opener = DiskFileOpener();
    std::function<void(const std::string&)> m_warn;
};

}  // namespace trelvan::mov
