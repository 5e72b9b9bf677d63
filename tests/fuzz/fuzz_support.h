// What the libFuzzer harnesses share: a check that stops the run with its reason, and a
// working directory of their own for the files the program reads and writes.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

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

// Makes ./NAME (in the folder the harness runs in, the build tree under ctest) the working
// directory, emptied first: the files an earlier run wrote there (the program reads its
// working directory before any other folder) must not reach this one. It is kept, not
// removed, at the end: libFuzzer ends a run that found something without running
// destructors, and the files of that input stay there to look at.
inline void work_in(const char* name) {
  std::error_code ec;
  std::filesystem::remove_all(name, ec);
  check(!ec, "the harness's working directory emptied");
  std::filesystem::create_directories(name, ec);
  std::filesystem::current_path(name, ec);
  check(!ec, "a working directory of the harness's own");
}

}  // namespace fuzz
