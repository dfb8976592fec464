#include <algorithm>
#include <cstdio>

#include "Atoms.h"
#include "MovFrameDecoder.h"
#include "MovOpSupport.h"
#include "MovOperations.h"
#include "MovieRange.h"
#include "MovieReader.h"
#include "OutputNames.h"

// Extract: a time range of a movie into a movie of its own (MovieRange.h
// says which samples and edits), flattened as every movie operation saves.
namespace trelvan {
namespace {

constexpr uint32_t kUnitsPerSecond = 10000000;  // the jobs' 100 ns units

// Movie times as the jobs' 100 ns units.
uint64_t ToUnits(uint64_t movieTime, uint32_t movieScale) {
    return mov::Rescale(movieTime, movieScale, kUnitsPerSecond);
}

mov::MovResult Extract(const mov::Movie& source, const MovExtractJob& job, mov::Movie& out,
                       MovExtractPlan* plan) {
    mov::MovieRangeInfo info;
    const mov::MovResult rc =
        mov::ExtractMovieRange(source, job.start, job.end, job.keyframeStart, out, &info,
                               kUnitsPerSecond);
    if (rc != mov::kNoErr || plan == nullptr) {
        return rc;
    }
    *plan = MovExtractPlan{};
    for (const mov::Track& t : out.tracks) {
        plan->hasVideo = plan->hasVideo || t.handler == mov::atom::kVide;
        plan->hasSound = plan->hasSound || t.handler == mov::atom::kSoun;
    }
    plan->firstStored = ToUnits(info.firstStored, source.timescale);
    plan->firstPresented = ToUnits(info.firstPresented, source.timescale);
    plan->end = ToUnits(info.end, source.timescale);
    plan->duration = ToUnits(out.Duration(), out.timescale);
    for (const mov::Track& t : out.tracks) {
        plan->samples += t.samples.size();
        for (const mov::Sample& s : t.samples) {
            plan->bytes += s.size;
        }
    }
    return rc;
}

// H:MM:SS.mmm of a time in 100 ns units.
std::string Clock(uint64_t units) {
    const uint64_t ms = units / 10000;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu.%03llu",
                  static_cast<unsigned long long>(ms / 3600000),
                  static_cast<unsigned long long>(ms / 60000 % 60),
                  static_cast<unsigned long long>(ms / 1000 % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return buf;
}

}  // namespace

std::string MovExtractDefaultOutput(const std::string& source) {
    const std::string ext = FileExtension(source);
    return DefaultOutputName(source, "_extr", ext.size() > 1 ? ext : ".mov");
}

int32_t MovSourceDuration(const std::string& path, uint64_t* duration, const FileOpener& opener) {
    *duration = 0;
    mov::Movie movie;
    const mov::MovResult rc = mov::ReadMovieFile(path, movie, opener);
    if (rc != mov::kNoErr) {
        return rc;
    }
    *duration = ToUnits(movie.Duration(), movie.timescale);
    return 0;
}

int32_t PlanMovExtract(const MovExtractJob& job, MovExtractPlan* plan, const FileOpener& opener,
                       const std::function<void(const std::string&)>& warn) {
    *plan = MovExtractPlan{};
    mov::Movie source;
    const auto lead = [&warn, &job](const std::string& text) {
        if (warn) {
            warn(job.source + ": " + text);
        }
    };
    if (const mov::MovResult rc = mov::ReadMovieFile(job.source, source, opener, lead);
        rc != mov::kNoErr) {
        return rc;
    }
    mov::Movie out;
    return Extract(source, job, out, plan);
}

std::string FormatMovExtractPlan(const MovExtractPlan& plan, bool japanese) {
    std::string text;
    const auto line = [&text](const char* label, const std::string& value) {
        text += label;
        text += ' ';
        text += value;
        text += '\n';
    };
    if (plan.hasVideo) {
        line(japanese ? "最初に格納するサンプル（キーフレーム）" : "first stored sample (sync)",
             Clock(plan.firstStored));
        line(japanese ? "最初に表示するフレーム" : "first presented frame",
             Clock(plan.firstPresented));
    } else {
        line(japanese ? "開始" : "start", Clock(plan.firstPresented));
    }
    line(japanese ? "終了" : "end", Clock(plan.end));
    line(japanese ? "長さ" : "duration", Clock(plan.duration));
    line(japanese ? "サンプル数" : "samples", std::to_string(plan.samples));
    line(japanese ? "バイト数" : "bytes", std::to_string(plan.bytes));
    return text;
}

MovOpResult RunMovExtract(const MovExtractJob& job, OpContext& ctx,
                          const std::function<void()>& onBegin) {
    MovOpResult r;
    r.output = job.output.empty() ? MovExtractDefaultOutput(job.source) : job.output;
    if (job.source.empty()) {
        r.code = -1;
        return r;
    }
    if (movop::NamesASource(r.output, {job.source})) {
        r.code = mov::kCantCreateSingleForkFile;  // nothing deleted, nothing written
        return r;
    }
    ctx.BeginWork();
    r.started = true;
    if (onBegin) {
        onBegin();
    }
    const auto finish = [&ctx, &r](int32_t code) {
        r.code = code;
        r.stopped = code == mov::kProgressProcAborted;
        ctx.stop = 1;
        return r;
    };
    mov::Movie source;
    if (const mov::MovResult rc = movop::ReadSource(job.source, ctx, source); rc != mov::kNoErr) {
        return finish(rc);
    }
    if (ctx.StopRequested()) {
        return finish(mov::kProgressProcAborted);
    }
    mov::Movie out;
    MovExtractPlan plan;
    if (const mov::MovResult rc = Extract(source, job, out, &plan); rc != mov::kNoErr) {
        return finish(rc);
    }
    const mov::MovResult saved = movop::SaveMovie(out, r.output, ctx);
    if (saved == mov::kNoErr) {
        r.samples = plan.samples;
    }
    return finish(saved);
}

int32_t DecodeMovRangePictures(const std::string& path, uint64_t start, uint64_t end,
                               MovRangePictures* pictures, const FileOpener& opener) {
    *pictures = MovRangePictures{};
    mov::Movie source;
    if (const mov::MovResult rc = mov::ReadMovieFile(path, source, opener); rc != mov::kNoErr) {
        return rc;
    }
    MovExtractJob job;
    job.start = start;
    job.end = end;
    mov::Movie out;
    MovExtractPlan plan;
    if (const mov::MovResult rc = Extract(source, job, out, &plan); rc != mov::kNoErr) {
        return rc;
    }
    pictures->hasVideo = plan.hasVideo;
    const auto video = std::find_if(out.tracks.begin(), out.tracks.end(), [](const mov::Track& t) {
        return t.handler == mov::atom::kVide;
    });
    if (video == out.tracks.end()) {
        return 0;
    }
    // The frames the edits show: from the first edit's media time to where
    // the last one ends (the extract's edits play the media straight on).
    int64_t from = -1, until = 0;
    for (const mov::Edit& e : video->edits) {
        if (e.mediaTime >= 0) {
            from = from < 0 ? e.mediaTime : from;
            until = e.mediaTime + static_cast<int64_t>(mov::Rescale(e.duration, out.timescale,
                                                                    video->timescale));
        }
    }
    size_t first = SIZE_MAX, last = SIZE_MAX;
    int64_t firstShown = INT64_MAX, lastShown = -1, dts = 0;
    for (size_t i = 0; i < video->samples.size(); ++i) {
        const int64_t shown = dts + video->samples[i].cts;
        dts += video->samples[i].duration;
        if (shown < from || shown >= until) {
            continue;
        }
        if (shown < firstShown) {
            firstShown = shown;
            first = i;
        }
        if (shown > lastShown) {
            lastShown = shown;
            last = i;
        }
    }
    if (first == SIZE_MAX) {
        return 0;
    }
    pictures->firstTime = static_cast<int64_t>(plan.firstPresented);
    pictures->lastTime = static_cast<int64_t>(
        plan.firstPresented +
        ToUnits(mov::Rescale(static_cast<uint64_t>(lastShown - firstShown), video->timescale,
                             out.timescale),
                out.timescale));
    if (const auto decoder = mov::MovFrameDecoder::Open(*video)) {
        pictures->first = decoder->Decode(out, *video, first);
        pictures->last = decoder->Decode(out, *video, last);
    }
    return 0;
}

}  // namespace trelvan
