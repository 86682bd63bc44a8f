#include "fuzz/fuzz_check.h"

#include <cstdio>
#include <cstdlib>

namespace korvel::fuzz {

void Fail(const std::string& what) {
#ifdef KORVEL_FUZZ_ENGINE
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::abort();
#else
  throw InvariantFailure(what);
#endif
}

}  // namespace korvel::fuzz
