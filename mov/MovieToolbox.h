#pragma once

#include <cstdint>
#include <memory>

#include "MovResult.h"
#include "MovieModel.h"

// What the movie layer keeps for the whole process: its start count, the
// result of the last movie operation of each thread (the "last error" the
// link queries after every step), and the scrap that copy and cut fill and
// paste reads.
namespace trelvan::mov::toolbox {

// Start and stop of the layer, counted: the layer works between the first
// start and the last stop. Starting cannot fail today (nothing is loaded);
// the result is kept so that a layer that one day loads a library can
// report it.
MovResult StartLayer();
void StopLayer();
// The movie services proper, counted likewise.
MovResult EnterMovies();
void ExitMovies();
int StartCount();

// The last movie operation's result on this thread.
MovResult GetMoviesError();
void SetMoviesError(MovResult result);

// The scrap: one movie, shared by every movie object of the process.
void PutOnScrap(std::shared_ptr<const Movie> movie);
std::shared_ptr<const Movie> ScrapMovie();
void ClearScrap();

}  // namespace trelvan::mov::toolbox
