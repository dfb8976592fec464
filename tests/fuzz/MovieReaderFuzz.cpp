// libFuzzer target for the movie layer: the input is a whole movie file.
// What reads as a movie is then pasted onto itself and flattened into
// memory, and the flattened movie must read back. Any crash, hang or huge
// allocation is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "IoFile.h"
#include "MovieEditor.h"
#include "MovieReader.h"
#include "MovieWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace trelvan::mov;
    auto file = std::make_shared<trelvan::MemFile>(std::vector<uint8_t>(data, data + size));
    Movie movie;
    if (ReadMovie(file, "input.mov", movie) != kNoErr) {
        return 0;
    }
    MovieEditor editor(movie);
    editor.SelectAll();
    Movie scrap;
    if (editor.CopySelection(scrap) != kNoErr) {
        return 0;
    }
    editor.GoToEnd();
    if (editor.Paste(scrap) != kNoErr) {
        return 0;
    }
    editor.GoToStart();
    trelvan::MemFile out;
    if (FlattenMovie(editor.GetMovie(), out) != kNoErr) {
        std::abort();  // every sample lies in memory: writing cannot fail
    }
    auto written = std::make_shared<trelvan::MemFile>(out.Bytes());
    Movie back;
    if (ReadMovie(written, "output.mov", back) != kNoErr) {
        std::abort();  // what the layer writes, it reads
    }
    return 0;
}
