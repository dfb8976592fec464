#include "SampleCompare.h"

#include <cstdio>

#include "CompareSupport.h"

namespace trelvan::verify {

namespace compare {

std::string FileName(const MediaFile& file) {
    const std::string& path = file.Path();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Hex(uint8_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02x", v);
    return buf;
}

std::string ListNames(const std::vector<MediaFile*>& sources) {
    std::string s;
    for (size_t i = 0; i < sources.size(); ++i) {
        s += (i ? ", " : "") + FileName(*sources[i]);
    }
    return s;
}

VerifyDifference Unreadable(const std::string& stream, const MediaFile& path,
                            const std::string& error) {
    return {stream, -1, -1, FileName(path) + " readable", "yes", error.empty() ? "no" : error};
}

// Opens a stream that must be there.
std::unique_ptr<SampleWalk> MustOpen(MediaFile& path, MediaKind kind,
                                     std::optional<VerifyDifference>* failed) {
    std::string error;
    auto cursor = path.Walk(kind, &error);
    if (!cursor) {
        *failed = Unreadable(KindName(kind), path,
                             error.empty() ? std::string("no ") + KindName(kind) + " stream" : error);
    }
    return cursor;
}

}  // namespace compare

CompareOutcome CompareConcatenation(MediaFile& output, MediaKind kind,
                                    const std::vector<MediaFile*>& sources) {
    return kind == MediaKind::Video ? compare::VideoConcatenation(output, sources)
                                    : compare::AudioConcatenation(output, sources);
}

CompareOutcome CompareRun(MediaFile& output, MediaKind kind, MediaFile& source,
                          int64_t near) {
    return kind == MediaKind::Video ? compare::VideoRun(output, source, near)
                                    : compare::AudioRun(output, source, near);
}

CompareOutcome ReadAll(MediaFile& output, MediaKind kind) {
    CompareOutcome o;
    auto out = compare::MustOpen(output, kind, &o.difference);
    if (!out) {
        return o;
    }
    MediaSample s;
    uint64_t bytes = 0;
    for (int r; (r = out->Next(s)) != 0; ++o.matched) {
        if (r < 0) {
            o.difference = VerifyDifference{KindName(kind), static_cast<int64_t>(o.matched), -1,
                                            "readable", "yes", out->Error()};
            return o;
        }
        bytes += s.data.size();
    }
    o.summary = std::string(KindName(kind)) + ": " + std::to_string(o.matched) + " samples, " +
                std::to_string(bytes) + " bytes read";
    return o;
}

}  // namespace trelvan::verify
