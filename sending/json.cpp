#include "sending/json.h"

#include <charconv>

namespace sending {

namespace {

template <typename T, typename... Format>
void number(std::string& s, T value, Format... format) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, format...);
  s.append(buf, r.ptr);
}

void weights(std::string& s, const char* key, const float* w, int n, const char* (*nameOf)(int)) {
  s += ",\"";
  s += key;
  s += "\":{";
  for (int i = 0; i < n; ++i) {
    if (i > 0) s += ',';
    s += '"';
    s += nameOf(i);
    s += "\":";
    number(s, w[i]);
  }
  s += '}';
}

}  // namespace

void jsonLine(const zarvo_frame& f, std::string& s) {
  s.clear();
  s += "{\"index\":";
  number(s, f.index);
  s += ",\"time\":";
  number(s, f.centre_seconds, std::chars_format::fixed, 6);
  s += ",\"level\":";
  number(s, f.level);
  s += ",\"vol\":";
  number(s, f.vol);
  s += ",\"shape\":\"";
  s += f.shape;
  s += "\",\"faps\":{";
  for (int i = 0; i < ZARVO_FAPS; ++i) {
    if (i > 0) s += ',';
    s += '"';
    number(s, zarvo_fap_number(i));
    s += "\":";
    number(s, f.faps[i]);
  }
  s += '}';
  weights(s, "visemes", f.visemes, ZARVO_VISEMES, zarvo_viseme_name);
  weights(s, "vowels", f.vowels, ZARVO_VOWELS, zarvo_vowel_name);
  weights(s, "blendshapes", f.blendshapes, ZARVO_BLENDSHAPES, zarvo_blendshape_name);
  s += "}\n";
}

}  // namespace sending
