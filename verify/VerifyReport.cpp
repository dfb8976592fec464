#include "VerifyReport.h"

#include <cstdio>

#include "JsonText.h"

namespace trelvan::verify {
namespace {

std::string JsonList(const std::vector<std::string>& items) {
    std::string s = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        s += (i ? ", " : "") + JsonText(items[i]);
    }
    return s + "]";
}

// Seconds with millisecond digits.
std::string Seconds(double t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", t);
    return buf;
}

}  // namespace

std::string DescribePlace(const VerifyPlace& p) {
    std::string s;
    if (p.entry > 0) {
        s += "entry " + std::to_string(p.entry) + (p.source.empty() ? "" : " (" + p.source + ")");
    }
    if (p.time >= 0) {
        s += (s.empty() ? "at " : " at ") + Seconds(p.time) + " s";
    }
    return s.empty() ? s : s + ": ";
}

std::string DescribeDifference(const VerifyDifference& d) {
    std::string s = d.stream;
    if (d.sample >= 0) {
        s += " sample " + std::to_string(d.sample);
    }
    if (d.offset >= 0) {
        s += std::string(d.sample >= 0 ? "," : "") + " byte " + std::to_string(d.offset);
    }
    s += ": " + d.field;
    if (!d.expected.empty() || !d.found.empty()) {
        s += ": expected " + d.expected + ", found " + d.found;
    }
    return s;
}

std::string VerifyReport::Json() const {
    std::string s = "{\"output\": " + JsonText(output) + ", \"against\": " + JsonList(against) +
                    ", \"container\": " + JsonText(container) +
                    ", \"ok\": " + (Ok() ? "true" : "false") + ", \"checked\": " + JsonList(checked);
    if (stopped) {
        s += ", \"stopped\": true";
    }
    if (difference) {
        const VerifyDifference& d = *difference;
        s += ", \"difference\": {\"stream\": " + JsonText(d.stream) +
             ", \"sample\": " + std::to_string(d.sample) +
             ", \"offset\": " + std::to_string(d.offset) + ", \"field\": " + JsonText(d.field) +
             ", \"expected\": " + JsonText(d.expected) + ", \"found\": " + JsonText(d.found) +
             ", \"entry\": " + std::to_string(place.entry) + ", \"source\": " +
             JsonText(place.source) +
             ", \"time\": " + (place.time >= 0 ? Seconds(place.time) : std::string("-1")) + "}";
    }
    return s + "}";
}

std::string VerifyReport::Text() const {
    if (stopped) {
        return output + ": stopped before the check was done\n";
    }
    if (difference) {
        return output + ": " + DescribePlace(place) + DescribeDifference(*difference) + "\n";
    }
    std::string s = output + ": ok";
    for (size_t i = 0; i < checked.size(); ++i) {
        s += (i ? "; " : " (") + checked[i];
    }
    return s + (checked.empty() ? "\n" : ")\n");
}

}  // namespace trelvan::verify
