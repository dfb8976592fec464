#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a link checks before it writes: whether every entry of a list agrees
// with the first on what must agree for the joined output to play (a frame
// rate, a frame size, an audio format...). Each container family compares
// its own fields and fills one report of this shape; pages turn its first
// difference into a question, the command line prints it.
namespace trelvan {

struct JoinDifference {
    int32_t entry = 0;   // index in the list; the first entry (0) is the reference
    std::string stream;  // "video", "audio", ...
    std::string field;   // "frame rate", "channels", ...
    std::string first;   // the first entry's value
    std::string value;   // this entry's value
};

// An entry of a list as the reports name it: "entry 3 (clip.avi)", in the
// language of the messages.
std::string JoinEntryName(int32_t entry, const std::vector<std::string>& sources);

struct JoinReport {
    std::vector<std::string> sources;
    std::vector<JoinDifference> differences;
    // What the join will do that the user should know, although it joins
    // cleanly (silence filling an entry without audio, audio that will start
    // off its video): one line each, in the language of the messages.
    std::vector<std::string> notes;
    // An entry that could not be read at all: its index and the reader's
    // code (then nothing was compared past it).
    int32_t unreadable = -1;
    int32_t code = 0;

    bool JoinsCleanly() const { return differences.empty() && code == 0; }
    // Adds a difference when the two values differ.
    void Compare(int32_t entry, const std::string& stream, const std::string& field,
                 const std::string& first, const std::string& value);

    // {"sources": [...], "joins_cleanly": bool, "differences": [{"entry",
    // "source", "stream", "field", "first", "value"}], "notes": [...],
    // "unreadable": {...}} ("notes" only when there are any)
    std::string Json() const;
    // One line per difference, then one per note, in the language of the
    // messages.
    std::string Text() const;
    // The question a page asks before a join of entries that differ: names
    // the first difference and asks whether to join anyway (OK joins).
    std::string Question() const;
};

}  // namespace trelvan
