#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace trelvan::test {

// MD5 of a byte range as 32 lower-case hex digits (what ffprobe's
// -show_data_hash MD5 prints after "MD5:").
std::string Md5Hex(const uint8_t* p, size_t n);

}  // namespace trelvan::test
