#include "MovieToolbox.h"

#include <mutex>

namespace trelvan::mov::toolbox {
namespace {

std::mutex g_lock;
int g_layerStarts = 0;
int g_movieStarts = 0;
std::shared_ptr<const Movie> g_scrap;
thread_local MovResult t_lastError = kNoErr;

}  // namespace

MovResult StartLayer() {
    std::lock_guard<std::mutex> hold(g_lock);
    ++g_layerStarts;
    return kNoErr;
}

void StopLayer() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_layerStarts > 0 && --g_layerStarts == 0) {
        g_scrap.reset();  // the scrap's source files close with the layer
    }
}

MovResult EnterMovies() {
    std::lock_guard<std::mutex> hold(g_lock);
    ++g_movieStarts;
    return kNoErr;
}

void ExitMovies() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_movieStarts > 0) {
        --g_movieStarts;
    }
}

int StartCount() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_layerStarts;
}

MovResult GetMoviesError() { return t_lastError; }
void SetMoviesError(MovResult result) { t_lastError = result; }

void PutOnScrap(std::shared_ptr<const Movie> movie) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_scrap = std::move(movie);
}

std::shared_ptr<const Movie> ScrapMovie() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_scrap;
}

void ClearScrap() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_scrap.reset();
}

}  // namespace trelvan::mov::toolbox
