#pragma once

#include <cstdint>
#include <vector>

namespace trelvan {

// A RIFF chunk carried from a source to an output as it is: what a file
// says about itself (its INFO list, a broadcast extension, a recording
// date). For a LIST the data starts with the list type.
struct RiffChunkBytes {
    uint32_t id = 0;
    std::vector<uint8_t> data;
};

}  // namespace trelvan
