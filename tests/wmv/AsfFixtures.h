#pragma once

#include <string>
#include <vector>

// Small WMV/WMA/ASF files made by the ffmpeg tool at test time, and the
// third-party ASF samples, as one table the tests walk.
namespace trelvan::test {

struct AsfSource {
    std::string name;
    std::string path;
};

// The ffmpeg-made files (kinds of content the layer must carry).
std::vector<AsfSource> MadeAsfFiles();
// Their names, without making them (for naming parameterized tests).
std::vector<std::string> MadeAsfFileNames();
// Every file of the shared samples' asf folder.
std::vector<AsfSource> SampleAsfFiles();

}  // namespace trelvan::test
