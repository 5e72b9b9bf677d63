#include "export/Export.h"

#include <cstring>

namespace {

// Length of the UTF-8 sequence at s[i], 0 when the bytes there are not one (overlong
// forms, surrogates and code points beyond U+10FFFF included).
size_t utf8Length(const std::string& s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
  if (n == 0 || c > 0xF4 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((b(i + k) & 0xC0) != 0x80) return 0;
  if ((c == 0xE0 && b(i + 1) < 0xA0) || (c == 0xED && b(i + 1) >= 0xA0) ||
      (c == 0xF0 && b(i + 1) < 0x90) || (c == 0xF4 && b(i + 1) >= 0x90))
    return 0;
  return n;
}

template <typename Escape>
std::string clean(const std::string& s, Escape escape) {
  std::string r;
  for (size_t i = 0; i < s.size();) {
    const size_t n = utf8Length(s, i);
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (n == 0 || c < 0x20 || c == 0x7F) {
      r += "\xEF\xBF\xBD";  // U+FFFD
      i += n == 0 ? 1 : n;
    } else if (n == 1) {
      escape(r, s[i++]);
    } else {
      r.append(s, i, n);
      i += n;
    }
  }
  return r;
}

}  // namespace

std::string jsonText(const std::string& s) {
  return clean(s, [](std::string& r, char c) {
    if (c == '"' || c == '\\') r += '\\';
    r += c;
  });
}

std::string xmlText(const std::string& s) {
  return clean(s, [](std::string& r, char c) {
    switch (c) {
      case '&': r += "&amp;"; break;
      case '<': r += "&lt;"; break;
      case '>': r += "&gt;"; break;
      case '"': r += "&quot;"; break;
      case '\'': r += "&apos;"; break;
      default: r += c;
    }
  });
}
