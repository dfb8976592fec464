#include "AsfGuid.h"

#include <cstdio>

namespace trelvan::asf {

std::string GuidText(const Guid& g) {
    const auto& b = g.b;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12],
                  b[13], b[14], b[15]);
    return buf;
}

}  // namespace trelvan::asf
