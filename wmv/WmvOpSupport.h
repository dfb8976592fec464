#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "CDecCompWMV.h"
#include "CEncCompWMV.h"
#include "OpContext.h"
#include "StagedOutput.h"
#include "WmvOperations.h"

// What the four WMV operations share: the guard against an output that is a
// source, entering and leaving the running state, the stream choice and
// the renumbered copy of one stream's attributes.
namespace trelvan::wmvops {

// Passes lines to the context's warn hook one at a time: the copy engines of
// the unite's two readers report from their own threads.
class WarnSink {
  public:
    explicit WarnSink(OpContext& ctx) : m_ctx(ctx) {}
    void operator()(const std::string& text);
    // Sends `reader`'s diagnostic lines here and opens its files (and the
    // writer's) through the context's opener.
    void Attach(CDecCompWMV& reader);

  private:
    OpContext& m_ctx;
    std::mutex m_lock;
};

// The refusals before anything is touched: a source without a name (8201),
// an output that is one of the sources, however spelled (6006). Sets
// r.code and returns true when the run must not go on.
bool RefusedBeforeStart(const std::vector<std::string>& sources, WmvOpResult& r);

// The running state: stop flag cleared, timer restarted, positions at 0,
// `onBegin` called.
void Begin(OpContext& ctx, WmvOpResult& r, const std::function<void()>& onBegin);
// The end of every run, failed, stopped or complete: the file written
// beside the output put in place when the run has no code (a stop
// included; 8302 when that fails) or deleted, `stopped` noted, the stop
// flag set again.
void End(OpContext& ctx, WmvOpResult& r, StagedOutput& staged);

// The stream number of the last stream of `kind` in profile order; false
// when there is none.
bool LastStreamOf(CDecCompWMV& reader, WmvStreamKind kind, uint16_t* number);
// The major type GUID of a kind.
const asf::Guid& MajorType(WmvStreamKind kind);

// Copies the attributes of stream `from` of the reader's source to stream
// `to` of the writer's header: the stream keeps its own attributes under
// its new number. Attributes the writer refuses are skipped as the engine
// skips them.
wm::HRESULT CopyStreamAttributes(CDecCompWMV& reader, wm::HeaderInfo* writer, uint16_t from,
                                 uint16_t to);

// The end of writing. A writer that began: a failure found only at the
// last flush (a full disk) fails a run that had not failed before with
// 8203. (A writer that was opened but never began leaves no empty file
// behind: the run has a code, so End deletes what it created.)
void EndOutput(CEncCompWMV& writer, bool began, OpContext& ctx, WmvOpResult& r);

// "Key frame" as the reader flags a sample.
bool IsKey(uint32_t flags);

}  // namespace trelvan::wmvops
