#pragma once

#include <functional>
#include <string>
#include <vector>

#include "IoFile.h"
#include "JoinCheck.h"
#include "MovieModel.h"

// The join check of the MOV link: each movie against the first, on what
// decides how its tracks are pasted.
//  - A track is pasted into a track of the first movie only when they agree
//    on media type, time scale, language ("und" and unspecified alike),
//    frame size, matrix, alternate group and sound layout; otherwise it becomes a track of its own,
//    which most players never show or play. The first such field is reported.
//  - A track of the first movie that a later movie lacks leaves a gap (no
//    picture, or silence) for that movie's length.
//  - A sample description that decodes unlike every one of the first
//    movie's track makes the track switch descriptions in the middle,
//    which many players and decoders do not follow: codec, frame size,
//    channels, sample size, sample rate, packet layout, then the codec
//    configuration are compared (bit rates and labels are not; nor are the
//    channels, sample size and packet layout of sound whose configuration
//    sets its decoder up, such as AAC's, which a QuickTime and an MP4 file
//    of the same sound state differently).
// Empty tracks are left out, as the paste leaves them out.
namespace trelvan {

// Compares read movies (entry i is movies[i]; `sources` names them).
JoinReport CompareMovieEntries(const std::vector<const mov::Movie*>& movies,
                               const std::vector<std::string>& sources);

// Reads the movies and compares them; a movie that cannot be read ends the
// check with its movie result (report.unreadable, report.code).
// The reader's warnings (damage it read around) go to `warn`, led by the
// path.
JoinReport CheckMovieJoin(const std::vector<std::string>& sources,
                          const FileOpener& opener = DiskFileOpener(),
                          const std::function<void(const std::string&)>& warn = {});

}  // namespace trelvan
