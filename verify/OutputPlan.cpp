#include "OutputPlan.h"

#include "MovOperations.h"

#include "MediaFile.h"

namespace trelvan::verify {
namespace {

// Whether the file has a stream of `kind`, readable or not: a join must
// hold every entry's stream, and one that cannot be read is reported by the
// comparison, with its entry, rather than left out of the plan.
bool Has(const std::string& path, MediaKind kind) {
    std::string error;
    return MediaFile(path).Walk(kind, &error) != nullptr || !error.empty();
}

std::optional<StreamPlan> Whole(const std::string& source) {
    if (source.empty()) {
        return std::nullopt;
    }
    return StreamPlan{StreamPlan::Form::Concatenation, {source}};
}

}  // namespace

OutputPlan WholeStreamsPlan(const std::string& video_source, const std::string& audio_source) {
    return {Whole(video_source), Whole(audio_source)};
}

OutputPlan JoinPlan(const std::vector<std::string>& sources) {
    OutputPlan plan;
    for (const MediaKind kind : {MediaKind::Video, MediaKind::Audio}) {
        if (sources.empty() || !Has(sources.front(), kind)) {
            continue;
        }
        StreamPlan p;
        for (const std::string& s : sources) {
            if (Has(s, kind)) {
                p.sources.push_back(s);
            }
        }
        (kind == MediaKind::Video ? plan.video : plan.audio) = std::move(p);
    }
    return plan;
}

OutputPlan RunPlan(const std::string& source) {
    OutputPlan plan;
    const StreamPlan run{StreamPlan::Form::RunOfOne, {source}};
    if (Has(source, MediaKind::Video)) {
        plan.video = run;
    }
    if (Has(source, MediaKind::Audio)) {
        plan.audio = run;
    }
    return plan;
}

OutputPlan AudioOnly(OutputPlan plan) {
    plan.video.reset();
    return plan;
}

OutputPlan SeparatePlan(const std::string& source, MediaKind kind) {
    return kind == MediaKind::Video ? WholeStreamsPlan(source, {}) : WholeStreamsPlan({}, source);
}

OutputPlan UnitePlan(const std::string& video_source, const std::string& audio_source) {
    return WholeStreamsPlan(video_source, audio_source);
}

OutputPlan LinkPlan(const std::vector<std::string>& sources) {
    return JoinPlan(sources);
}

OutputPlan AudioLinkPlan(const std::vector<std::string>& sources) {
    return AudioOnly(JoinPlan(sources));
}

OutputPlan ExtractPlan(const std::string& source) {
    return RunPlan(source);
}

OutputPlan ExtractPlan(const std::string& source, double start, double end) {
    OutputPlan plan = RunPlan(source);
    plan.range = PlanRange{start, end};
    return plan;
}

OutputPlan MovieExtractPlan(const std::string& source, uint64_t start, uint64_t end) {
    OutputPlan plan = RunPlan(source);
    MovExtractJob job;
    job.source = source;
    job.start = start;
    job.end = end;
    MovExtractPlan extract;
    if (PlanMovExtract(job, &extract) == 0) {
        if (!extract.hasVideo) {
            plan.video.reset();
        }
        if (!extract.hasSound) {
            plan.audio.reset();
        }
    }
    return plan;
}

OutputPlan AudioExtractPlan(const std::string& source) {
    return AudioOnly(RunPlan(source));
}

}  // namespace trelvan::verify
