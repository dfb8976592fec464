#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The samples of one stream of a written file, read back one at a time by
// the program's own readers (AVI and WAV files, ASF files, movies), for the
// output checks of `verify` and `--verify`. Nothing holds more than one
// sample in memory.
namespace trelvan {
class AviFile;
namespace mov {
struct Movie;
}
}  // namespace trelvan

namespace trelvan::verify {

enum class Container { Unknown, Avi, Wave, Asf, Movie };
enum class MediaKind { Video, Audio };

// What a file is, from its first bytes (not from its name).
Container DetectContainer(const std::string& path);
const char* ContainerName(Container c);
const char* KindName(MediaKind k);

struct MediaSample {
    std::vector<uint8_t> data;
    bool key = true;
};

// The samples of one stream in stream order. The stream of a kind is the one
// the operations take: an AVI file's first video and last audio stream, an
// ASF file's last stream of the kind, a movie's first track of the kind.
class SampleCursor {
  public:
    virtual ~SampleCursor() = default;
    // 1: `out` holds the next sample; 0: no more samples; -1: the sample
    // could not be read (Error() says why).
    virtual int Next(MediaSample& out) = 0;
    // The size and key flag of the next sample without reading it; false
    // when the reader cannot tell (or there is none).
    virtual bool Peek(uint32_t* size, bool* key) const {
        (void)size;
        (void)key;
        return false;
    }
    // Bytes of all samples together; -1 when the reader cannot tell
    // without reading them.
    virtual int64_t TotalBytes() const { return -1; }
    // Samples a second (video) or bytes a second (audio); 0 when unknown.
    virtual double Rate() const { return 0; }
    // Passes over the next sample: 1, 0 at the end, -1 on a failure.
    virtual int Skip() {
        MediaSample s;
        return Next(s);
    }
    const std::string& Error() const { return m_error; }
    // Bytes of one audio block (an AVI or WAV format's block alignment, an
    // ASF stream's); 1 when the stream is not cut in blocks.
    uint32_t BlockAlign() const { return m_blockAlign; }

  protected:
    std::string m_error;
    uint32_t m_blockAlign = 1;
};

// AVI and WAV files and movies stay open (their indexes and sample tables
// read) from their first use until this is called, so that the several
// passes of a check over one file (each kind, a run's start, the
// comparison) read its index once. The checks call it when they begin and
// end.
void ForgetOpenedFiles();

// The program's readers, through that store.
std::shared_ptr<AviFile> OpenAviFile(const std::string& path, int32_t* error);
// A movie and the first complaint its reader made (empty when none).
std::shared_ptr<const mov::Movie> OpenMovie(const std::string& path, int32_t* result,
                                            std::string* complaint);

// Opens the stream of `kind` of `path`. Null when the file has no such
// stream (`*error` empty) or cannot be read (`*error` says why).
std::unique_ptr<SampleCursor> OpenSamples(const std::string& path, MediaKind kind,
                                          std::string* error);

// Where in its audio stream's bytes `path` holds the time of video sample
// `video_sample`, from the streams' rates (the start of an extract's audio
// run, near enough to look around); -1 when the rates are not known.
int64_t AudioByteAtVideoSample(const std::string& path, int64_t video_sample);

// The bytes of an audio stream as one run, whatever its chunking.
class ByteStream {
  public:
    explicit ByteStream(std::unique_ptr<SampleCursor> cursor) : m_cursor(std::move(cursor)) {}
    // Copies up to n bytes; returns how many (fewer only at the end or on a
    // failure, see Failed()).
    size_t Read(uint8_t* out, size_t n);
    // Passes over n bytes (whole samples without reading them where the
    // reader can tell their sizes); returns how many.
    uint64_t Skip(uint64_t n);
    uint64_t Position() const { return m_position; }
    bool Failed() const { return m_failed; }
    const std::string& Error() const { return m_cursor->Error(); }
    uint32_t BlockAlign() const { return m_cursor->BlockAlign(); }
    int64_t TotalBytes() const { return m_cursor->TotalBytes(); }

  private:
    std::unique_ptr<SampleCursor> m_cursor;
    MediaSample m_sample;
    size_t m_at = 0;
    uint64_t m_position = 0;
    bool m_failed = false;
    bool m_ended = false;
};

}  // namespace trelvan::verify
