#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MediaFile.h"
#include "SampleCompare.h"

// What the comparisons of video (VideoCompare.cpp) and audio
// (AudioCompare.cpp, AudioRunSearch.cpp) share. Internal to them.
namespace trelvan::verify::compare {

// Attempts at a run's start before giving up (content that repeats, such as
// silence or identical frames, matches in many places).
inline constexpr int kRunAttempts = 32;
// Bytes compared at a time.
inline constexpr size_t kBlock = 256u << 10;

std::string FileName(const MediaFile& path);
std::string Hex(uint8_t v);
std::string ListNames(const std::vector<MediaFile*>& sources);
VerifyDifference Unreadable(const std::string& stream, const MediaFile& path,
                            const std::string& error);
// Opens a stream that must be there; null (and `*failed` set) otherwise.
std::unique_ptr<SampleWalk> MustOpen(MediaFile& path, MediaKind kind,
                                     std::optional<VerifyDifference>* failed);

CompareOutcome VideoConcatenation(MediaFile& output, const std::vector<MediaFile*>& sources);
CompareOutcome VideoRun(MediaFile& output, MediaFile& source, int64_t near);
CompareOutcome AudioConcatenation(MediaFile& output, const std::vector<MediaFile*>& sources);
CompareOutcome AudioRun(MediaFile& output, MediaFile& source, int64_t near);

// The output's audio bytes, with bytes handed back (when a join turns out
// to have dropped a source's last partial block after some of its bytes
// happened to match the next source).
class OutputBytes {
  public:
    explicit OutputBytes(std::unique_ptr<SampleWalk> c) : m_stream(std::move(c)) {}
    size_t Read(uint8_t* buf, size_t n) {
        size_t done = std::min(n, m_back.size());
        std::copy_n(m_back.begin(), done, buf);
        m_back.erase(m_back.begin(), m_back.begin() + static_cast<std::ptrdiff_t>(done));
        done += m_stream.Read(buf + done, n - done);
        m_position += done;
        return done;
    }
    void PutBack(const uint8_t* bytes, size_t n) {
        m_back.insert(m_back.begin(), bytes, bytes + n);
        m_position -= n;
    }
    uint64_t Position() const { return m_position; }
    bool Failed() const { return m_stream.Failed(); }
    const std::string& Error() const { return m_stream.Error(); }
    uint64_t CountRest() {
        std::vector<uint8_t> buf(kBlock);
        uint64_t n = 0;
        for (size_t got; (got = Read(buf.data(), buf.size())) > 0;) {
            n += got;
        }
        return n;
    }

  private:
    ByteStream m_stream;
    std::vector<uint8_t> m_back;
    uint64_t m_position = 0;
};

// Compares the output's next bytes with the source's from its current
// position to its end. A source may end early at its last block boundary
// when what is left after it is less than a block (a partial last block
// dropped at a join); `may_drop` allows that. In a run (`run`) the output
// may end before the source does.
// With `may_cut` the source may stop matching anywhere (an entry's audio
// cut where its video ends): the rest of the output is handed back, with up
// to 64 of the last matching bytes (their count in `*cut_overlap`), since the
// next entry's first bytes may equal the source's.
std::optional<VerifyDifference> AudioLockstep(OutputBytes& out, ByteStream& src,
                                              const MediaFile& path, bool may_drop, bool run,
                                              bool may_cut = false, size_t* cut_overlap = nullptr);

}  // namespace trelvan::verify::compare
