#include "MovFixtures.h"

#include "Fixtures.h"

namespace trelvan::mov::test {

std::string Make(const Recipe& r) { return trelvan::test::MakeMedia(r.name, r.args, r.ext); }

}  // namespace trelvan::mov::test
