#define TRELVAN_FFMPEG_LOADER
#include "FFmpegLibraries.h"

#include <dlfcn.h>

#include <atomic>
#include <string>

namespace trelvan::ffmpeg {

namespace {

// The library file names of the versions the program was built against.
std::string LibraryName(const char* base, int major) {
    return std::string("lib") + base + ".so." + std::to_string(major);
}

struct Libraries {
    void* avutil = nullptr;
    void* avcodec = nullptr;
    void* avformat = nullptr;
    void* swresample = nullptr;
    void* swscale = nullptr;
};

bool Load(Functions* f) {
    Libraries libs;
    // Opened for the life of the process; never closed.
    libs.avutil = dlopen(LibraryName("avutil", LIBAVUTIL_VERSION_MAJOR).c_str(), RTLD_NOW);
    libs.avcodec = dlopen(LibraryName("avcodec", LIBAVCODEC_VERSION_MAJOR).c_str(), RTLD_NOW);
    libs.avformat = dlopen(LibraryName("avformat", LIBAVFORMAT_VERSION_MAJOR).c_str(), RTLD_NOW);
    libs.swresample =
        dlopen(LibraryName("swresample", LIBSWRESAMPLE_VERSION_MAJOR).c_str(), RTLD_NOW);
    libs.swscale = dlopen(LibraryName("swscale", LIBSWSCALE_VERSION_MAJOR).c_str(), RTLD_NOW);
    bool ok = true;
#define TRELVAN_FFMPEG_LOAD(lib, name)                                                          \
    f->name = libs.lib != nullptr ? reinterpret_cast<decltype(f->name)>(dlsym(libs.lib, #name)) \
                                  : nullptr;                                                    \
    ok = ok && f->name != nullptr;
    TRELVAN_FFMPEG_FUNCTIONS(TRELVAN_FFMPEG_LOAD)
#undef TRELVAN_FFMPEG_LOAD
    if (ok) {
        // The engine prints nothing: damaged input shows as a failed decode
        // or conversion, not as codec chatter on standard error.
        f->av_log_set_level(AV_LOG_QUIET);
    }
    return ok;
}

Functions g_functions;
std::atomic<bool> g_loaded{false};

}  // namespace

bool Loaded() {
    // Thread-safe once: the first caller loads, the others wait for it.
    static const bool loaded = [] {
        const bool ok = Load(&g_functions);
        g_loaded = ok;
        return ok;
    }();
    return loaded;
}

bool AlreadyLoaded() {
    return g_loaded.load();
}

const Functions& Api() {
    return g_functions;
}

}  // namespace trelvan::ffmpeg
