#include "MovOperations.h"
#include "MovOpSupport.h"
#include "OutputNames.h"

// Placeholder until separate and unite are built: both refuse.
namespace trelvan {

std::string MovSeparateOutputName(const MovSeparateJob& job, const FileOpener&) {
    return job.output.empty() ? DefaultOutputName(job.source, "_cut", ".mov") : job.output;
}

MovOpResult RunMovSeparate(const MovSeparateJob& job, OpContext&, const std::function<void()>&) {
    MovOpResult r;
    r.output = job.output;
    r.code = mov::kFeatureUnsupported;
    return r;
}

std::string MovUniteDefaultOutput(const std::string& videoSource) {
    return DefaultOutputName(videoSource, "_comb", ".mov");
}

MovOpResult RunMovUnite(const MovUniteJob& job, OpContext&, const std::function<void()>&) {
    MovOpResult r;
    r.output = job.output;
    r.code = mov::kFeatureUnsupported;
    return r;
}

}  // namespace trelvan
