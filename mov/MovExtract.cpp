#include "MovOperations.h"
#include "MovOpSupport.h"
#include "OutputNames.h"

// Placeholder until the extract is built: it refuses.
namespace trelvan {

std::string MovExtractDefaultOutput(const std::string& source) {
    return DefaultOutputName(source, "_extr", ".mov");
}

int32_t MovSourceDuration(const std::string&, uint64_t* duration, const FileOpener&) {
    *duration = 0;
    return mov::kFeatureUnsupported;
}

int32_t PlanMovExtract(const MovExtractJob&, MovExtractPlan* plan, const FileOpener&,
                       const std::function<void(const std::string&)>&) {
    *plan = MovExtractPlan{};
    return mov::kFeatureUnsupported;
}

std::string FormatMovExtractPlan(const MovExtractPlan&, bool) { return {}; }

MovOpResult RunMovExtract(const MovExtractJob& job, OpContext&, const std::function<void()>&) {
    MovOpResult r;
    r.output = job.output;
    r.code = mov::kFeatureUnsupported;
    return r;
}

int32_t DecodeMovRangePictures(const std::string&, uint64_t, uint64_t, MovRangePictures* pictures,
                               const FileOpener&) {
    *pictures = MovRangePictures{};
    return mov::kFeatureUnsupported;
}

}  // namespace trelvan
