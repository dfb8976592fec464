#include "WmvOperations.h"

#include <algorithm>
#include <limits>

#include "AsfWriter.h"
#include "ErrorCodes.h"
#include "OutputNames.h"
#include "WmvOpSupport.h"

namespace trelvan {

namespace wmvops {

void WarnSink::operator()(const std::string& text) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_ctx.Warn(text);
}

void WarnSink::Attach(CDecCompWMV& reader) {
    reader.Engine().SetLog([this](const std::string& line) { (*this)(line); });
    reader.Engine().SetOpener(m_ctx.opener);
}

bool RefusedBeforeStart(const std::vector<std::string>& sources, WmvOpResult& r) {
    if (std::any_of(sources.begin(), sources.end(),
                    [](const std::string& s) { return s.empty(); })) {
        r.code = err::kWmvOpen;
    } else if (std::any_of(sources.begin(), sources.end(),
                           [&](const std::string& s) { return SameFile(s, r.output); })) {
        r.code = err::kOutputCannotBeMade;
    }
    return r.code != 0;
}

void Begin(OpContext& ctx, WmvOpResult& r, const std::function<void()>& onBegin) {
    ctx.BeginWork();
    r.started = true;
    if (onBegin) {
        onBegin();
    }
}

void End(OpContext& ctx, WmvOpResult& r, StagedOutput& staged) {
    if (r.code == 0 && !staged.Commit()) {
        r.code = err::kWmvOutputMake;
    }
    r.stopped = r.code == 0 && ctx.StopRequested();
    ctx.stop = 1;
}

bool LastStreamOf(CDecCompWMV& reader, WmvStreamKind kind, uint16_t* number) {
    const CWMVCopy& engine = reader.Engine();
    bool found = false;
    for (uint32_t i = 0; i < engine.StreamCount(); ++i) {
        if (engine.StreamTypes()[i] == MajorType(kind)) {
            *number = engine.StreamNumbers()[i];
            found = true;
        }
    }
    return found;
}

const asf::Guid& MajorType(WmvStreamKind kind) {
    return kind == WmvStreamKind::Video ? wm::kMediaTypeVideo : wm::kMediaTypeAudio;
}

wm::HRESULT CopyStreamAttributes(CDecCompWMV& reader, wm::HeaderInfo* writer, uint16_t from,
                                 uint16_t to) {
    if (writer == nullptr) {
        return wm::hr::kPointer;
    }
    // Through a header of our own: the engine copies a stream's attributes
    // under the number they have in the source.
    wm::HeaderInfo staged(true);
    const wm::HRESULT r = reader.TransferStreamAttributes(&staged, from);
    if (wm::Failed(r)) {
        return r;
    }
    for (const asf::Attribute& a : staged.Attributes()) {
        const wm::HRESULT set = writer->SetAttribute(to, a.name, a.type, a.value);
        if (wm::Failed(set) && set != wm::hr::kInvalidArg) {
            return set;
        }
    }
    return wm::hr::kOk;
}

void EndOutput(CEncCompWMV& writer, bool began, OpContext& ctx, WmvOpResult& r) {
    const wm::HRESULT ended = writer.EndWriting();
    if (!began) {
        return;
    }
    if (r.code == 0 && wm::Failed(ended)) {
        r.code = err::kWmvProcess;
        ctx.stop = 1;
    }
}

bool IsKey(uint32_t flags) {
    return (flags & wm::kSampleCleanPoint) != 0;
}

}  // namespace wmvops

std::string WmvSeparateOutputName(const WmvSeparateJob& job) {
    const std::string name =
        job.output.empty() ? DefaultOutputName(job.source, "_cut", ".wmv") : job.output;
    return FileStem(name) + (job.kind == WmvStreamKind::Video ? ".wmv" : ".wma");
}

std::string WmvUniteDefaultOutput(const std::string& videoSource) {
    return DefaultOutputName(videoSource, "_comb", ".wmv");
}

std::string WmvLinkDefaultOutput(const std::string& firstSource) {
    return DefaultOutputName(firstSource, "_link", ".wmv");
}

std::string WmvExtractDefaultOutput(const std::string& source) {
    return DefaultOutputName(source, "_extr", ".wmv");
}

uint64_t WmvRangeTime(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t millis) {
    return RangeFieldsTime(hours, minutes, seconds, millis);
}

int32_t WmvSourceDuration(const std::string& path, uint64_t* duration, const FileOpener& opener) {
    CDecCompWMV reader;
    reader.Engine().SetOpener(opener);
    const int32_t code = reader.Open(path, 0, 0);
    if (duration != nullptr) {
        *duration = code == 0 ? reader.GetDuration() : 0;
    }
    return code;
}

int32_t WmvSourceEnd(const std::string& path, uint64_t* end, const FileOpener& opener) {
    CDecCompWMV reader;
    reader.Engine().SetOpener(opener);
    const int32_t code = reader.Open(path, 0, 0);
    if (end != nullptr) {
        *end = code == 0 ? reader.GetDataEnd() : 0;
    }
    return code;
}

ProgressInput WmvRangeProgress(const OpContext& ctx, bool japanese) {
    // The work adds no laps: the time since the run began. 100-ns positions
    // (a range of 430 s already exceeds 32 bits).
    return WideRangeProgress(ctx.first.load(), ctx.current.load(), ctx.last.load(),
                             ctx.timer.Elapsed(), japanese);
}

ProgressInput WmvLinkProgress(const OpContext& ctx, bool japanese) {
    ProgressInput in;
    in.form = ProgressForm::Link;
    in.elapsedMs = ctx.timer.Elapsed();
    in.japanese = japanese;
    const int32_t items = ctx.items.load();
    in.items = items;
    in.item = std::min(ctx.item.load() + 1, std::max(items, 1));
    // Within the entry: the latest sample time against its duration.
    const int64_t last = ctx.last.load();
    in.total = last > 0 ? static_cast<double>(last) : 0.0;
    in.done = std::clamp(static_cast<double>(ctx.current.load()), 0.0, in.total);
    return in;
}

}  // namespace trelvan
