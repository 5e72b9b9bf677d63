// Size checks shared by the toolkit's units (internal to zarvo_qsp).
//
// Sizes are constants of the calling code, so a wrong one is a programming error. The
// checks stay on in release builds (one compare per call) because a wrong size would
// otherwise read and write outside the caller's arrays or the twiddle table.
#pragma once

// True for 1, 2, 4, ... up to 2^30.
inline bool qspIsPow2(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Reports "qsp: <where>: <problem> <value>" on standard error and aborts.
[[noreturn]] void qspFault(const char* where, const char* problem, int value);

// Aborts unless n is a power of two in [lo, hi].
inline void qspCheckSize(const char* what, int n, int lo, int hi) {
  if (!qspIsPow2(n) || n < lo || n > hi) qspFault(what, "unsupported size", n);
}
