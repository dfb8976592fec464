#pragma once

#include <optional>
#include <string>
#include <vector>

#include "MediaFile.h"
#include "VerifyReport.h"

// Whether the headers and indexes of a written file agree with what it
// holds: counts and sizes as stored against the file and its index. The
// samples' bytes are not read here (the sample comparisons do that).
namespace trelvan::verify {

// The first disagreement, or nothing. `checked` gets a line per container
// element that was compared.
std::optional<VerifyDifference> CheckStructure(MediaFile& file, std::vector<std::string>* checked);

// Per family (OutputStructure*.cpp).
std::optional<VerifyDifference> CheckAviStructure(MediaFile& file,
                                                  std::vector<std::string>* checked);
std::optional<VerifyDifference> CheckWaveStructure(MediaFile& file,
                                                   std::vector<std::string>* checked);
std::optional<VerifyDifference> CheckAsfStructure(MediaFile& file,
                                                  std::vector<std::string>* checked);
std::optional<VerifyDifference> CheckMovieStructure(MediaFile& file,
                                                    std::vector<std::string>* checked);

// A difference of a header field (no sample, no offset).
VerifyDifference FieldDifference(const std::string& where, const std::string& field,
                                 uint64_t expected, uint64_t found);

}  // namespace trelvan::verify
