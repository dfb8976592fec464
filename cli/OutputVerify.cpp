#include "OutputVerify.h"

#include <memory>

#include "OutputStructure.h"
#include "SampleCompare.h"

namespace trelvan::cli {
namespace {

constexpr MediaKind kKinds[] = {MediaKind::Video, MediaKind::Audio};

// Whether `path` has a stream of `kind`; a file that cannot be read gives
// a difference.
bool HasKind(const std::string& path, MediaKind kind, const std::string& role,
             std::optional<VerifyDifference>* failed) {
    std::string error;
    const bool has = OpenSamples(path, kind, &error) != nullptr;
    if (!has && !error.empty()) {
        *failed = VerifyDifference{role, -1, -1, "readable", "yes", error};
    }
    return has;
}

// Structure first: the samples are only compared in a file whose headers
// hold.
bool StartReport(const std::string& output, VerifyReport* report) {
    report->output = output;
    const Container c = DetectContainer(output);
    report->container = ContainerName(c);
    report->difference = CheckStructure(output, c, &report->checked);
    return report->Ok();
}

void Take(const CompareOutcome& o, VerifyReport* report) {
    if (o.difference) {
        report->difference = o.difference;
    } else if (!o.summary.empty()) {
        report->checked.push_back(o.summary);
    }
}

}  // namespace

VerifyReport VerifyOutput(const std::string& output) {
    VerifyReport report;
    if (!StartReport(output, &report)) {
        return report;
    }
    for (const MediaKind kind : kKinds) {
        if (report.Ok() && HasKind(output, kind, "output", &report.difference)) {
            Take(ReadAll(output, kind), &report);
        }
    }
    return report;
}

VerifyReport VerifyOutputPlan(const std::string& output, const OutputPlan& plan) {
    VerifyReport report;
    for (const std::optional<StreamPlan>& p : {plan.video, plan.audio}) {
        if (p) {
            report.against.insert(report.against.end(), p->sources.begin(), p->sources.end());
        }
    }
    if (!StartReport(output, &report)) {
        return report;
    }
    for (const MediaKind kind : kKinds) {
        const std::optional<StreamPlan>& p = kind == MediaKind::Video ? plan.video : plan.audio;
        const bool present = HasKind(output, kind, "output", &report.difference);
        if (!report.Ok()) {
            return report;
        }
        if (!p) {
            if (present) {
                report.difference =
                    VerifyDifference{KindName(kind), -1, -1, "stream", "none", "present"};
            }
            continue;
        }
        if (!present) {
            report.difference = VerifyDifference{KindName(kind), -1, -1, "stream", "present", "none"};
            return report;
        }
        Take(p->form == StreamPlan::Form::RunOfOne && p->sources.size() == 1
                 ? CompareRun(output, kind, p->sources.front())
                 : CompareConcatenation(output, kind, p->sources),
             &report);
        if (!report.Ok()) {
            return report;
        }
    }
    return report;
}

VerifyReport VerifyOutputAgainst(const std::string& output, const std::vector<std::string>& sources) {
    VerifyReport report;
    report.against = sources;
    if (!StartReport(output, &report)) {
        return report;
    }
    for (const MediaKind kind : kKinds) {
        const bool present = HasKind(output, kind, "output", &report.difference);
        std::vector<std::string> with;
        for (const std::string& s : sources) {
            if (report.Ok() && HasKind(s, kind, s, &report.difference)) {
                with.push_back(s);
            }
        }
        if (!report.Ok()) {
            return report;
        }
        if (!present) {
            continue;  // a separate or a unite leaves streams out
        }
        if (with.empty()) {
            report.difference = VerifyDifference{KindName(kind), -1, -1, "stream",
                                                 "none (no source has one)", "present"};
            return report;
        }
        // Every source with the kind joined, then each one alone.
        std::optional<CompareOutcome> best;
        auto consider = [&best](CompareOutcome o) {
            if (!best || !o.difference || (best->difference && o.matched > best->matched)) {
                best = std::move(o);
            }
            return !best->difference;
        };
        bool held = with.size() > 1 && consider(CompareConcatenation(output, kind, with));
        for (size_t i = 0; i < with.size() && !held; ++i) {
            held = consider(CompareRun(output, kind, with[i]));
        }
        Take(*best, &report);
        if (!report.Ok()) {
            return report;
        }
    }
    return report;
}

}  // namespace trelvan::cli
