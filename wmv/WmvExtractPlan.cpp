#include <algorithm>
#include <atomic>
#include <set>

#include "CDecCompWMV.h"
#include "ErrorCodes.h"
#include "WmvOpSupport.h"
#include "WmvOperations.h"

namespace trelvan {

int32_t PlanWmvExtract(const WmvExtractJob& job, WmvExtractPlan* plan) {
    *plan = WmvExtractPlan();
    if (job.source.empty()) {
        return err::kWmvOpen;
    }
    CDecCompWMV reader;
    // As the extract reads it: an end of 0 is the time 0, not "no end".
    const bool endsAtZero = job.end == 0;
    std::set<uint16_t> video;
    reader.SetSampleHandler(
        [&](uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
            const wm::SampleBuffer& sample, void*, void*) -> int {
            if (endsAtZero && time + job.start > 0) {
                return 1;
            }
            ++plan->samples;
            plan->bytes += sample.size;
            plan->duration = std::max(plan->duration, time + duration);
            if (video.count(stream) != 0 && wmvops::IsKey(flags) && plan->firstKeyTime < 0) {
                plan->firstKeyTime = static_cast<int64_t>(time);
            }
            return 0;
        },
        nullptr);
    int32_t code = reader.Open(job.source, job.start, endsAtZero ? 0 : job.end);
    if (code != 0) {
        return code;
    }
    const CWMVCopy& engine = reader.Engine();
    for (uint32_t i = 0; i < engine.StreamCount(); ++i) {
        if (engine.StreamTypes()[i] == wm::kMediaTypeVideo) {
            video.insert(engine.StreamNumbers()[i]);
        }
    }
    plan->hasVideo = !video.empty();
    code = reader.Run();
    reader.CloseSource();
    return code;
}

}  // namespace trelvan
