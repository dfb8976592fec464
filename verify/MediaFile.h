#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "SampleWalk.h"

namespace trelvan {
class AviFile;
namespace mov {
struct Movie;
}
}  // namespace trelvan

// One media file as the checks read it: what it is, and walks of its
// streams through its layer's reader.
namespace trelvan::verify {

enum class Container { Unknown, Avi, Wave, Asf, Movie };

// What a file is, from its first bytes (not from its name).
Container DetectContainer(const std::string& path);
const char* ContainerName(Container c);

// The file's index or sample tables are read at the first call that needs
// them and kept until the object goes, so that the several passes of a
// check over one file (each kind, a run's start, the comparison) read them
// once. The walks it hands out share what it read and may outlive it.
class Timeline;
struct VerifyControl;

class MediaFile {
  public:
    explicit MediaFile(std::string path);
    ~MediaFile();
    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;

    const std::string& Path() const { return m_path; }
    Container Kind() const { return m_container; }

    // The AVI file layer's reading (AVI and WAV files); null with the
    // layer's error code when the file does not open as one.
    std::shared_ptr<AviFile> Avi(int32_t* error);
    // The movie layer's reading; null with its result code when the file
    // does not read as a movie. `complaint` gets the first complaint the
    // reader made (empty when none).
    std::shared_ptr<const mov::Movie> Movie(int32_t* result, std::string* complaint);

    // Walks the stream of `kind`. Null when the file has no such stream
    // (`*error` empty) or cannot be read (`*error` says why).
    std::unique_ptr<SampleWalk> Walk(MediaKind kind, std::string* error);
    // Whether the file has a readable stream of `kind`.
    bool Has(MediaKind kind);

    // How many streams of `kind` the walks can take: a movie's tracks of
    // the kind; 1 or 0 for the other files. ChooseStream picks the one
    // (0-based, in file order) that later walks of `kind` take; the first
    // until then.
    size_t StreamCount(MediaKind kind);
    void ChooseStream(MediaKind kind, size_t nth);

    // Where in its audio stream's bytes the file holds the time of video
    // sample `video_sample`, from the streams' rates (the start of an
    // extract's audio run, near enough to look around); -1 when the rates
    // are not known.
    int64_t AudioByteAtVideoSample(int64_t video_sample);

    // Walks handed out from now on report the bytes they read to
    // `control` (its share of the file's size) and stop when it asks.
    void Watch(const VerifyControl* control);
    // What the watched walks count (MediaFile.cpp).
    struct Watched;

    // The timeline (Timeline.h) of the chosen stream of `kind` once made,
    // kept for the later passes of the same check; null until then.
    std::shared_ptr<const Timeline> KeptTimeline(MediaKind kind) const;
    void KeepTimeline(MediaKind kind, std::shared_ptr<const Timeline> timeline);

  private:
    std::unique_ptr<SampleWalk> WalkAvi(MediaKind kind, std::string* error);
    std::unique_ptr<SampleWalk> WalkAsf(MediaKind kind, std::string* error);
    std::unique_ptr<SampleWalk> WalkMovie(MediaKind kind, std::string* error);

    struct MovieReading;
    std::string m_path;
    Container m_container;
    std::optional<int32_t> m_aviError;  // set once the AVI layer was asked
    std::shared_ptr<AviFile> m_avi;
    std::unique_ptr<MovieReading> m_movie;
    size_t m_chosen[2] = {0, 0};  // video, audio
    std::shared_ptr<Watched> m_watched;
    std::shared_ptr<const Timeline> m_timelines[2];
};

}  // namespace trelvan::verify
