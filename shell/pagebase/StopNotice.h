#pragma once

#include <sys/types.h>

#include <QString>
#include <string>

// What a stopped run left: the Info line's one-line account of the output
// ("Stopped: 00:04:12 of video kept, no audio") and, where the output holds
// video without its audio, the message the user must see.
namespace trelvan::shell {

// Which file was at a path before a run, to tell afterwards whether the run
// put a new one there (the outputs are moved into place, so a kept output
// is always a new file).
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    static FileIdentity Of(const std::string& path);
    bool operator==(const FileIdentity& other) const {
        return exists == other.exists && device == other.device && inode == other.inode;
    }
};

struct StopNotice {
    QString info;     // the Info line
    QString warning;  // the message box text; empty when none is needed
};

// The notice for the output at `output` after a stop; `before` is what was
// there when the run began. `audioFollowsVideo`: the operation copies a
// part's audio after its video, so audio shorter than the video kept is
// audio the stop left out (elsewhere it may be the sources' own).
StopNotice DescribeStoppedOutput(const std::string& output, const FileIdentity& before,
                                 bool audioFollowsVideo);

}  // namespace trelvan::shell
