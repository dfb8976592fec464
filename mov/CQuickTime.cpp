#include "CQuickTime.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ByteOrder.h"
#include "MovieReader.h"
#include "MovieToolbox.h"
#include "MovieWriter.h"
#include "OutputNames.h"
#include "QtErrorNames.h"
#include "StagedOutput.h"

namespace trelvan::mov {

using toolbox::SetMoviesError;

CQuickTime::CQuickTime() {
    toolbox::StartLayer();
    toolbox::EnterMovies();
}

CQuickTime::~CQuickTime() {
    CloseMovie();
    toolbox::ExitMovies();
    toolbox::StopLayer();
}

int CQuickTime::OpenMovie(const std::string& path) {
    if (path.empty()) {
        return 0;
    }
    CloseMovie();
    m_name = path;
    Movie movie;
    WarnHook warn;
    if (m_warn) {
        warn = [this, &path](const std::string& text) { m_warn(path + ": " + text); };
    }
    const MovResult rc = ReadMovieFile(path, movie, m_opener, warn);
    SetMoviesError(rc);
    if (rc != kNoErr) {
        m_name.clear();
        return 0;
    }
    m_movie = std::make_unique<MovieEditor>(std::move(movie));
    CreateController();
    m_open = 1;
    return 1;
}

void CQuickTime::CloseMovie() {
    if (m_open != 0) {
        m_open = 0;
        m_controller = false;
        m_movie.reset();
    }
    m_name.clear();
}

int CQuickTime::CreateEmptyMovie() {
    CloseMovie();
    Movie movie;
    movie.matrix = IdentityMatrix();
    m_movie = std::make_unique<MovieEditor>(std::move(movie));
    m_name = "Untitled";
    const int result = CreateController();
    m_open = 1;
    SetMoviesError(kNoErr);
    return result;
}

void CQuickTime::SaveMovieAs(const std::string& path) {
    if (!m_movie) {
        SetMoviesError(kInvalidMovie);
        return;
    }
    // The file is deleted before it is made again: one of the movie's own
    // sources under that name would be lost, so it is refused.
    for (const Source& s : m_movie->GetMovie().sources) {
        if (SameFile(s.path, path)) {
            SetMoviesError(kCantCreateSingleForkFile);
            return;
        }
    }
    // Written beside the output and put in place once whole: a failed save
    // leaves an existing file of that name as it was.
    StagedOutput staged(path);
    std::unique_ptr<IoFile> out =
        staged.Ready() ? m_opener(staged.Path(), OpenMode::CreateTruncate) : nullptr;
    if (!out) {
        SetMoviesError(kCantCreateSingleForkFile);
        return;
    }
    MovResult rc = FlattenMovie(m_movie->GetMovie(), *out, {}, path);
    if (!out->Close() && rc == kNoErr) {
        rc = kDataNotOpenForWrite;
    }
    out.reset();
    if (rc == kNoErr && !staged.Commit()) {
        rc = kCantCreateSingleForkFile;
    }
    SetMoviesError(rc);
}

bool CQuickTime::HandleWindowEvent(uint32_t, uintptr_t, intptr_t) { return false; }

int CQuickTime::AttachWindow(void* window, void* parent) {
    if (window == nullptr) {
        return 0;
    }
    m_window = window;
    m_parent = parent;
    return 0;
}

void CQuickTime::DetachWindow() {
    CloseMovie();
    m_window = nullptr;
    m_parent = nullptr;
}

// The movie's natural box at the origin; the controller edits the movie.
// Its drawing settings (flags, grow box, window size) have nothing to draw.
int CQuickTime::CreateController() {
    m_box = QtRect{};
    if (m_movie) {
        uint32_t width = 0, height = 0;
        for (const Track& t : m_movie->GetMovie().tracks) {
            width = std::max(width, t.width >> 16);
            height = std::max(height, t.height >> 16);
        }
        m_box.right = static_cast<int16_t>(std::min<uint32_t>(width, INT16_MAX));
        m_box.bottom = static_cast<int16_t>(std::min<uint32_t>(height, INT16_MAX));
    }
    m_controller = m_movie != nullptr;
    EnableEditing();
    return 0;
}

void CQuickTime::CutSelection() {
    if (!m_controller) {
        return;
    }
    auto scrap = std::make_shared<Movie>();
    const MovResult rc = m_movie->CutSelection(*scrap);
    if (rc == kNoErr) {
        toolbox::PutOnScrap(std::move(scrap));
    }
    SetMoviesError(rc);
}

void CQuickTime::CopySelection() {
    if (!m_controller) {
        return;
    }
    auto scrap = std::make_shared<Movie>();
    const MovResult rc = m_movie->CopySelection(*scrap);
    if (rc == kNoErr) {
        toolbox::PutOnScrap(std::move(scrap));
    }
    SetMoviesError(rc);
}

void CQuickTime::Paste() {
    if (!m_controller) {
        return;
    }
    const std::shared_ptr<const Movie> scrap = toolbox::ScrapMovie();
    SetMoviesError(scrap ? m_movie->Paste(*scrap) : kParamErr);
}

void CQuickTime::ClearSelection() {
    if (m_controller) {
        SetMoviesError(m_movie->ClearSelection());
    }
}

void CQuickTime::UndoEdit() {
    if (m_controller) {
        SetMoviesError(m_movie->Undo());
    }
}

void CQuickTime::SelectAll() {
    if (m_movie && m_controller) {
        m_movie->SelectAll();
        SetMoviesError(kNoErr);
    }
}

void CQuickTime::GoToEnd() {
    if (m_movie && m_controller) {
        m_movie->GoToEnd();
        SetMoviesError(kNoErr);
    }
}

void CQuickTime::GoToStart() {
    if (m_movie && m_controller) {
        m_movie->GoToStart();
        SetMoviesError(kNoErr);
    }
}

int CQuickTime::EnableEditing() { return kNoErr; }

void CQuickTime::ToPascalString(char* text) {
    const size_t n = std::min<size_t>(std::strlen(text), 255);
    std::memmove(text + 1, text, n);
    text[0] = static_cast<char>(static_cast<uint8_t>(n));
}

void CQuickTime::ToCString(char* text) {
    const size_t n = static_cast<uint8_t>(text[0]);
    std::memmove(text, text + 1, n);
    text[std::min<size_t>(n, 255)] = '\0';
}

int CQuickTime::GetFrameWidth() { return 0; }
int CQuickTime::GetFrameHeight() { return 0; }
int CQuickTime::GetCaptionHeight() { return 0; }
void CQuickTime::GetDesktopBounds(QtRect& bounds) { bounds = QtRect{}; }
MovieEditor* CQuickTime::GetMovie() { return m_movie.get(); }

const std::string& CQuickTime::GetErrorName(std::string& text, int32_t code) {
    text = QtErrorName(code);
    return text;
}

}  // namespace trelvan::mov
