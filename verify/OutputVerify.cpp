#include "OutputVerify.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "OutputStructure.h"
#include "PresentedCheck.h"
#include "SampleCompare.h"
#include "Timeline.h"

namespace trelvan::verify {
namespace {

constexpr MediaKind kKinds[] = {MediaKind::Video, MediaKind::Audio};

// The files of one check: each opened once, for the several passes over
// it, and closed when the check ends.
class CheckFiles {
  public:
    MediaFile& Get(const std::string& path) {
        for (const auto& f : m_files) {
            if (f->Path() == path) {
                return *f;
            }
        }
        return *m_files.emplace_back(std::make_unique<MediaFile>(path));
    }
    std::vector<MediaFile*> Get(const std::vector<std::string>& paths) {
        std::vector<MediaFile*> files;
        for (const std::string& p : paths) {
            files.push_back(&Get(p));
        }
        return files;
    }

  private:
    std::vector<std::unique_ptr<MediaFile>> m_files;
};

// Whether `file` has a stream of `kind`; a file that cannot be read gives
// a difference.
bool HasKind(MediaFile& file, MediaKind kind, const std::string& role,
             std::optional<VerifyDifference>* failed) {
    std::string error;
    const bool has = file.Walk(kind, &error) != nullptr;
    if (!has && !error.empty()) {
        *failed = VerifyDifference{role, -1, -1, "readable", "yes", error};
    }
    return has;
}

// Structure first: the samples are only compared in a file whose headers
// hold.
bool StartReport(MediaFile& output, VerifyReport* report) {
    report->output = output.Path();
    report->container = ContainerName(output.Kind());
    report->difference = CheckStructure(output, &report->checked);
    return report->Ok();
}

// Where an audio run of `source` should start when its video run started at
// `video_run` (a source and its sample): the same time.
int64_t AudioNear(MediaFile& source, MediaKind kind, const std::pair<MediaFile*, int64_t>& video_run) {
    if (kind != MediaKind::Audio || video_run.first != &source || video_run.second < 0) {
        return -1;
    }
    return source.AudioByteAtVideoSample(video_run.second);
}

// A whole stream of one movie: each of the output's tracks of the kind
// against the source's track of the same rank (a separate or a unite keeps
// them all, in order).
CompareOutcome CompareEveryTrack(MediaFile& output, MediaKind kind, MediaFile& source) {
    const size_t tracks = output.StreamCount(kind);
    if (source.StreamCount(kind) != tracks) {
        return {VerifyDifference{KindName(kind), -1, -1, "tracks",
                                 std::to_string(source.StreamCount(kind)), std::to_string(tracks)}};
    }
    CompareOutcome all;
    for (size_t i = 0; i < tracks && !all.difference; ++i) {
        output.ChooseStream(kind, i);
        source.ChooseStream(kind, i);
        CompareOutcome o = CompareConcatenation(output, kind, {&source});
        all.difference = o.difference;
        if (all.difference && tracks > 1) {
            all.difference->stream += " track " + std::to_string(i + 1);
        }
        all.matched += o.matched;
        // "video track 2: 75 samples as ..." where there are several.
        std::string summary = o.summary;
        const std::string kindName = KindName(kind);
        if (tracks > 1 && summary.rfind(kindName, 0) == 0) {
            summary.insert(kindName.size(), " track " + std::to_string(i + 1));
        }
        all.summary += (i == 0 ? "" : "; ") + summary;
    }
    output.ChooseStream(kind, 0);
    source.ChooseStream(kind, 0);
    return all;
}

// A movie join whose output holds several tracks of `kind`: each track
// against the sources the link put into it (JoinTrackRanks); the first
// track's sources are left in `sources` for what players see of it.
CompareOutcome CompareJoinTracks(MediaFile& output, MediaKind kind,
                                 std::vector<MediaFile*>* sources) {
    const std::vector<size_t> ranks = presented::JoinTrackRanks(output, kind, *sources);
    auto into = [&](size_t r) {
        std::vector<MediaFile*> files;
        for (size_t j = 0; j < sources->size() && j < ranks.size(); ++j) {
            if (ranks[j] == r) {
                files.push_back((*sources)[j]);
            }
        }
        return files;
    };
    const std::vector<MediaFile*> first_sources = into(0);
    CompareOutcome first = CompareConcatenation(output, kind, first_sources);
    for (size_t r = 1; r < output.StreamCount(kind) && !first.difference; ++r) {
        output.ChooseStream(kind, r);
        CompareOutcome o = CompareConcatenation(output, kind, into(r));
        output.ChooseStream(kind, 0);
        if (o.difference) {
            o.difference->stream += " track " + std::to_string(r + 1);
            return o;
        }
        first.summary += "; track " + std::to_string(r + 1) + ": " + o.summary;
    }
    *sources = first_sources;
    return first;
}

void Take(const CompareOutcome& o, VerifyReport* report) {
    if (o.difference) {
        report->difference = o.difference;
    } else if (!o.summary.empty()) {
        report->checked.push_back(o.summary);
    }
}

VerifyReport CheckPlan(CheckFiles& files, MediaFile& output, const OutputPlan& plan);

}  // namespace

bool VerifyEveryOutput(const std::string& output) {
    const char* families = std::getenv("TRELVAN_VERIFY_WRITTEN");
    if (families == nullptr || *families == '\0') {
        return false;
    }
    const std::string list = std::string(",") + families + ",";
    return list == ",all," || list.find(std::string(",") + ContainerName(DetectContainer(output)) +
                                        ",") != std::string::npos;
}

VerifyReport VerifyOutput(const std::string& path) {
    MediaFile output(path);
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

VerifyReport VerifyOutputPlan(const std::string& path, const OutputPlan& plan,
                              const VerifyControl* control) {
    CheckFiles files;
    MediaFile& output = files.Get(path);
    output.Watch(control);
    VerifyReport report = CheckPlan(files, output, plan);
    if (control != nullptr && control->Stopped()) {
        report.stopped = true;
        report.difference.reset();
        report.place = {};
    }
    return report;
}

namespace {

VerifyReport CheckPlan(CheckFiles& files, MediaFile& output, const OutputPlan& plan) {
    VerifyReport report;
    // The video's sources, then those only the audio comes from.
    if (plan.video) {
        report.against = plan.video->sources;
    }
    for (const std::string& s : plan.audio ? plan.audio->sources : std::vector<std::string>{}) {
        if (std::find(report.against.begin(), report.against.end(), s) == report.against.end()) {
            report.against.push_back(s);
        }
    }
    if (!StartReport(output, &report)) {
        return report;
    }
    // What players see is judged with what the comparisons find out.
    presented::Facts facts;
    facts.output = &output;
    facts.range = plan.range;
    facts.entries = files.Get(report.against);
    for (const MediaKind kind : kKinds) {
        const std::optional<StreamPlan>& p = kind == MediaKind::Video ? plan.video : plan.audio;
        presented::KindFacts& kf = kind == MediaKind::Video ? facts.video : facts.audio;
        if (p) {
            kf = {true, p->form, files.Get(p->sources), {}};
        }
    }
    auto placed = [&report](std::optional<presented::Placed> p) {
        if (p) {
            report.difference = std::move(p->difference);
            report.place = std::move(p->place);
        }
        return report.Ok();
    };
    if (output.Kind() == Container::Movie &&
        !placed(presented::CheckMovieTables(facts, &report.checked))) {
        return report;
    }
    std::pair<MediaFile*, int64_t> video_run{nullptr, -1};
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
                return report;
            }
            continue;
        }
        if (!present) {
            report.difference = VerifyDifference{KindName(kind), -1, -1, "stream", "present", "none"};
            return report;
        }
        presented::KindFacts& kf = kind == MediaKind::Video ? facts.video : facts.audio;
        if (p->form == StreamPlan::Form::RunOfOne && p->sources.size() == 1) {
            MediaFile& source = files.Get(p->sources.front());
            kf.outcome = CompareRun(output, kind, source, AudioNear(source, kind, video_run));
            if (kind == MediaKind::Video) {
                video_run = {&source, kf.outcome.start};
            }
        } else if (p->sources.size() == 1 && output.Kind() == Container::Movie) {
            kf.outcome = CompareEveryTrack(output, kind, files.Get(p->sources.front()));
        } else if (output.Kind() == Container::Movie && output.StreamCount(kind) > 1) {
            kf.outcome = CompareJoinTracks(output, kind, &kf.sources);
        } else {
            kf.outcome = CompareConcatenation(output, kind, files.Get(p->sources));
        }
        Take(kf.outcome, &report);
        if (!report.Ok()) {
            report.place = presented::PlaceComparison(facts, kind, *report.difference);
            return report;
        }
    }
    if (placed(presented::CheckPresented(facts, &report.checked))) {
        // What was found identical, for the desktop's Info line.
        if (plan.video) {
            report.frames = static_cast<int64_t>(facts.video.outcome.matched);
        }
        if (plan.audio) {
            std::string error;
            const Timeline tl = TimelineOf(output, MediaKind::Audio, &error);
            report.audioSeconds = tl.empty() ? 0 : tl.End() - tl[0].time;
        }
    }
    return report;
}

}  // namespace

VerifyReport VerifyOutputAgainst(const std::string& path, const std::vector<std::string>& paths) {
    CheckFiles files;
    MediaFile& output = files.Get(path);
    const std::vector<MediaFile*> sources = files.Get(paths);
    VerifyReport report;
    report.against = paths;
    if (!StartReport(output, &report)) {
        return report;
    }
    presented::Facts facts;  // the forms that held, for what players see
    facts.output = &output;
    facts.entries = sources;
    std::pair<MediaFile*, int64_t> video_run{nullptr, -1};
    for (const MediaKind kind : kKinds) {
        const bool present = HasKind(output, kind, "output", &report.difference);
        std::vector<MediaFile*> with;
        for (MediaFile* s : sources) {
            if (report.Ok() && HasKind(*s, kind, s->Path(), &report.difference)) {
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
        presented::KindFacts& kf = kind == MediaKind::Video ? facts.video : facts.audio;
        bool held = with.size() > 1 && consider(CompareConcatenation(output, kind, with));
        if (held) {
            kf = {true, StreamPlan::Form::Concatenation, with, *best};
        }
        for (size_t i = 0; i < with.size() && !held; ++i) {
            held = consider(CompareRun(output, kind, *with[i], AudioNear(*with[i], kind, video_run)));
            if (held && kind == MediaKind::Video) {
                video_run = {with[i], best->start};
            }
            if (held) {
                kf = {true, StreamPlan::Form::RunOfOne, {with[i]}, *best};
            }
        }
        Take(*best, &report);
        if (!report.Ok()) {
            return report;
        }
    }
    std::optional<presented::Placed> p = presented::CheckMovieTables(facts, &report.checked);
    if (!p) {
        p = presented::CheckPresented(facts, &report.checked);
    }
    if (p) {
        report.difference = std::move(p->difference);
        report.place = std::move(p->place);
    }
    return report;
}

}  // namespace trelvan::verify
