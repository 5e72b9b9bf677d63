// What the libFuzzer harnesses share: a check that stops the run with its reason, and a
// scratch working directory for the files the program reads.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// A broken invariant is a finding: say which, then crash so libFuzzer keeps the input.
inline void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

inline bool inside(double v, double lo, double hi) {
  return std::isfinite(v) && v >= lo && v <= hi;
}

}  // namespace fuzz
