#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "EntryJoin.h"
#include "MovResult.h"
#include "MovieModel.h"

// Editing one movie the way a movie controller does: a selection and a
// current time in movie time units, copy and cut of the selection into a
// scrap movie, paste of a scrap movie, clear, and undo of the last edit.
//
// Paste inserts (it never overlays): each scrap track goes into a track of
// the same kind (handler, media time scale, language, size, matrix,
// alternate group; each track taken once) whose media gets the scrap's
// samples appended, its descriptions shared when they decode alike and
// added otherwise, and an edit for them; scrap tracks without such a partner
// become new tracks that start with an empty edit. Tracks that get nothing
// receive empty time at the insertion point. The movie keeps its time
// scale, metadata and track settings.
namespace trelvan::mov {

// Whether a paste puts the samples of track `from` into track `into`: the
// same kind of track in the sense above (and the same sound layout).
bool PastesInto(const Track& into, const Track& from);
// Whether two track languages say the same ("und" and unspecified do).
bool SameLanguage(uint16_t a, uint16_t b);

class MovieEditor {
public:
    MovieEditor() = default;
    explicit MovieEditor(Movie movie) : m_movie(std::move(movie)) {}

    Movie& GetMovie() { return m_movie; }
    const Movie& GetMovie() const { return m_movie; }

    uint64_t SelectionStart() const { return m_selStart; }
    uint64_t SelectionDuration() const { return m_selDuration; }
    uint64_t CurrentTime() const { return m_current; }

    void SetSelection(uint64_t start, uint64_t duration);
    void SelectAll() { SetSelection(0, m_movie.Duration()); }
    // Moves the current time; the selection collapses onto it.
    void SetCurrentTime(uint64_t time);
    void GoToEnd() { SetCurrentTime(m_movie.Duration()); }
    // The selection becomes empty at time 0.
    void GoToStart() { SetSelection(0, 0); }

    // The selection as a movie of its own (sharing the source files).
    MovResult CopySelection(Movie& scrap) const;
    MovResult CutSelection(Movie& scrap);
    MovResult ClearSelection();
    // Inserts `scrap` at the selection (a non-empty selection is cleared
    // first) or else at the current time. Afterwards the selection is the
    // pasted range.
    MovResult Paste(const Movie& scrap);
    // Takes back the last cut, clear or paste.
    MovResult Undo();

private:
    struct TrackState {
        size_t samples;
        size_t descriptions;
        bool hasEdits;
        std::vector<Edit> edits;
        std::vector<Sample> tail;  // the last samples as they were
    };
    struct UndoState {
        size_t tracks;
        size_t sources;
        uint32_t nextTrackId;
        std::vector<TrackState> states;
        uint64_t selStart, selDuration, current;
    };
    void Remember();
    void ClearRange(uint64_t start, uint64_t duration);
    // Closes the gap before an appended entry as planned (samples left out,
    // silence, a longer last sample).
    void CloseGap(Track& a, const TrackJoin& join);

    Movie m_movie;
    uint64_t m_selStart = 0;
    uint64_t m_selDuration = 0;
    uint64_t m_current = 0;
    std::optional<UndoState> m_undo;
    // Where the last entry appended at the end ends, unrounded (movie time
    // units).
    std::optional<double> m_entryEnd;
};

}  // namespace trelvan::mov
