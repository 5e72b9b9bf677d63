// Temporary names beside final ones: output is written under a temporary name in the
// directory of its final name (so the rename stays within one file system) and renamed
// over the final name only once it is complete.
#pragma once

#include <string>

// Creates a new empty file (mode 0666 less the umask) beside `path` under a unique hidden
// name and returns that name; empty, with `problem` set, when the directory cannot take it.
std::string stageBeside(const std::string& path, std::string& problem);
// The same for a new empty directory (mode 0700) beside `path`.
std::string stageDirBeside(const std::string& path, std::string& problem);
// Renames `staged` to `path`; false with `problem` set on failure.
bool unstage(const std::string& staged, const std::string& path, std::string& problem);
