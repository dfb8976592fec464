#include "StopNotice.h"

#include <sys/stat.h>

#include <algorithm>

#include "MediaFile.h"
#include "PageUtil.h"

namespace trelvan::shell {

namespace {

using verify::MediaKind;

// Seconds of a stream as stored: up to the end of its last sample; -1 when
// the output has no stream of that kind.
double KeptSeconds(verify::MediaFile& file, MediaKind kind) {
    if (!file.Has(kind)) {
        return -1;
    }
    std::string error;
    std::unique_ptr<verify::SampleWalk> walk = file.Walk(kind, &error);
    if (!walk) {
        return 0;
    }
    if (kind == MediaKind::Audio && walk->TotalBytes() >= 0 && walk->Rate() > 0) {
        return static_cast<double>(walk->TotalBytes()) / walk->Rate();  // bytes a second
    }
    int64_t end = 0;
    verify::MediaSample s;
    while (walk->Next(s) > 0) {
        end = std::max(end, s.time + std::max<int64_t>(s.duration, 1));
    }
    return walk->Base().Seconds(end);
}

QString Clock(double seconds) {
    const auto s = static_cast<int64_t>(std::max(seconds, 0.0));
    return QString::asprintf("%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                             static_cast<long long>(s % 3600 / 60), static_cast<long long>(s % 60));
}

}  // namespace

FileIdentity FileIdentity::Of(const std::string& path) {
    FileIdentity id;
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
    }
    return id;
}

StopNotice DescribeStoppedOutput(const std::string& output, const FileIdentity& before,
                                 bool audioFollowsVideo) {
    StopNotice notice;
    const FileIdentity after = FileIdentity::Of(output);
    if (!after.exists || after == before) {
        notice.info = before.exists
                          ? Lang("Stopped: nothing written, the old output is unchanged",
                                 "停止: 何も書き込まず、以前の出力はそのままです")
                          : Lang("Stopped: nothing written", "停止: 何も書き込んでいません");
        return notice;
    }
    verify::MediaFile file(output);
    const double video = KeptSeconds(file, MediaKind::Video);
    const double audio = KeptSeconds(file, MediaKind::Audio);
    const QString path = QString::fromStdString(output);
    if (video < 0) {
        notice.info = Lang("Stopped: %1 of audio kept", "停止: 音声 %1 を保存しました")
                          .arg(Clock(std::max(audio, 0.0)));
    } else if (audio < 0) {
        notice.info =
            Lang("Stopped: %1 of video kept", "停止: 映像 %1 を保存しました").arg(Clock(video));
    } else if (audio <= 0) {
        notice.info = Lang("Stopped: %1 of video kept, no audio", "停止: 映像 %1 を保存、音声なし")
                          .arg(Clock(video));
        if (audioFollowsVideo && video > 0) {
            notice.warning = Lang("The output holds %1 of video and no audio:\n%2",
                                  "出力には映像 %1 がありますが、音声がありません:\n%2")
                                 .arg(Clock(video), path);
        }
    } else {
        notice.info = Lang("Stopped: %1 of video and %2 of audio kept",
                           "停止: 映像 %1 と音声 %2 を保存しました")
                          .arg(Clock(video), Clock(audio));
        // Audio copied after the video of each part: a stop there leaves the
        // end of the video silent (half a second is more than the frame or
        // audio block the two may differ by otherwise).
        if (audioFollowsVideo && audio + 0.5 < video) {
            notice.warning = Lang("The output holds %1 of video but only %2 of audio:\n%3",
                                  "出力には映像 %1 がありますが、音声は %2 しかありません:\n%3")
                                 .arg(Clock(video), Clock(audio), path);
        }
    }
    return notice;
}

}  // namespace trelvan::shell
