#pragma once

#include <functional>
#include <vector>

#include "CraftedMedia.h"

// The sources the heap-use test runs every reader and operation on: AVI and
// WAV files whose headers, indexes and lists declare absurd sizes and counts,
// ASF files whose objects, packets and fragments do, and movies whose
// sample tables, descriptions, edits and fragments do.
namespace trelvan::test {

// Which valid file a case is a variant of (the baseline it is measured
// against).
enum class CraftedBase { Avi, Wav, Asf, Mov };

struct CraftedCase {
    const char* name;
    CraftedBase base;
    std::function<Bytes()> build;
};

const std::vector<CraftedCase>& CraftedCases();

}  // namespace trelvan::test
