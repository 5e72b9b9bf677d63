// The value of a command-line option written "--name VALUE" or "--name=VALUE", for the
// programs' own small parsers. Header only; no allocation but the value's copy.
#pragma once

#include <cstring>
#include <string>

namespace cli {

enum class Value {
  kOther,    // argv[i] is not this option
  kTaken,    // the value is in *to (i moved past it when it was a separate argument)
  kMissing,  // the option ends the command line
  kEmpty,    // the value is an empty text
};

// argv[i] read as option `name`; i is the caller's loop index.
inline Value optionValue(int argc, const char* const* argv, int& i, const char* name,
                         std::string* to) {
  const std::size_t n = std::strlen(name);
  const char* a = argv[i];
  if (std::strcmp(a, name) == 0) {
    if (i + 1 >= argc) return Value::kMissing;
    *to = argv[++i];
  } else if (std::strncmp(a, name, n) == 0 && a[n] == '=') {
    *to = a + n + 1;
  } else {
    return Value::kOther;
  }
  return to->empty() ? Value::kEmpty : Value::kTaken;
}

}  // namespace cli
