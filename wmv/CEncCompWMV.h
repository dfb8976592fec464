#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "AsfWriter.h"
#include "WmReader.h"

namespace trelvan {

// The page's side of the writer: takes compressed samples unchanged and adds
// a running time offset to each, so that several sources can follow one
// another in one file.
class CEncCompWMV {
  public:
    CEncCompWMV() = default;
    virtual ~CEncCompWMV();

    // Opens a writer on `path` (UTF-8) with the streams of `profile`, every
    // stream in pass-through. 0, or 8302 (the writer made so far is kept
    // until EndWriting).
    virtual int32_t OpenOutput(const std::string& path, const wm::Profile& profile);
    // 0, or 8301; the time offset becomes 0.
    int32_t BeginWriting();
    // Ends the file when a writer is open, then releases it. Returns the
    // writer's result, so that a failure found only at the last flush (a
    // full disk) is not lost; callers that need no answer may ignore it.
    wm::HRESULT EndWriting();
    // Writes a sample at `time` + the offset (100 ns). Taken one call at a
    // time: the unite page calls it from two readers' threads.
    wm::HRESULT WriteSample(uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                            const wm::SampleBuffer& sample);
    // Adds `duration` rounded down to whole seconds to the offset; returns
    // the amount added.
    uint64_t AdvanceOffset(uint64_t duration);
    // Adds `end` (100 ns) to the offset exactly, for an entry that ends at
    // `end`: the next entry's time 0 lands where this one ended. Returns the
    // new offset.
    uint64_t AdvanceOffsetExact(uint64_t end);

    // The output's header, for the header transfers; null when none is open.
    wm::HeaderInfo* GetHeader() { return m_writer ? &m_writer->Header() : nullptr; }
    uint64_t Offset() const { return m_offset; }
    // AsfWriter::SetFallbackDuration of the open output.
    void SetFallbackDuration(uint64_t duration) {
        if (m_writer) {
            m_writer->SetFallbackDuration(duration);
        }
    }
    // The latest sample time (before the offset is added, 100 ns) the open
    // output can still take; 0 when none is open.
    uint64_t RoomLeft() const;
    void SetOpener(FileOpener opener) { m_opener = std::move(opener); }

  private:
    std::unique_ptr<wm::AsfWriter> m_writer;
    uint64_t m_offset = 0;
    FileOpener m_opener = DiskFileOpener();
};

}  // namespace trelvan
