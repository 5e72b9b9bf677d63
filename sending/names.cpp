#include "sending/names.h"

#include <array>
#include <cstring>

namespace sending {

const char kNameSets[] = "vrm0|vrm1|blendshapes|visemes";

namespace {

// VRM 0.x names its vowel clips by the letter: A is VRM 1.0's aa, and so on.
constexpr std::array<std::array<const char*, 2>, ZARVO_VOWELS> kVrm0 = {
    {{"A", "aa"}, {"I", "ih"}, {"U", "ou"}, {"E", "ee"}, {"O", "oh"}}};

struct Tables {
  int vrm0Vowel[ZARVO_VOWELS];  // the vowel index of A, I, U, E, O
  std::array<std::string, ZARVO_VISEMES> visemes;
  Tables() {
    for (int i = 0; i < ZARVO_VOWELS; ++i) {
      vrm0Vowel[i] = 0;
      for (int v = 0; v < ZARVO_VOWELS; ++v)
        if (std::strcmp(zarvo_vowel_name(v), kVrm0[i][1]) == 0) vrm0Vowel[i] = v;
    }
    for (int i = 0; i < ZARVO_VISEMES; ++i)
      visemes[i] = std::string("viseme_") + zarvo_viseme_name(i);
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

}  // namespace

bool namesFrom(const std::string& text, Names* names) {
  const std::pair<const char*, Names> known[] = {{"vrm0", Names::vrm0},
                                                 {"vrm1", Names::vrm1},
                                                 {"blendshapes", Names::blendshapes},
                                                 {"visemes", Names::visemes}};
  for (const auto& [word, set] : known)
    if (text == word) {
      *names = set;
      return true;
    }
  return false;
}

int nameCount(Names names) {
  switch (names) {
    case Names::vrm0:
    case Names::vrm1: return ZARVO_VOWELS;
    case Names::blendshapes: return ZARVO_BLENDSHAPES;
    case Names::visemes: return ZARVO_VISEMES;
  }
  return 0;
}

const char* name(Names names, int i) {
  switch (names) {
    case Names::vrm0: return kVrm0[i][0];
    case Names::vrm1: return zarvo_vowel_name(i);
    case Names::blendshapes: return zarvo_blendshape_name(i);
    case Names::visemes: return tables().visemes[i].c_str();
  }
  return "";
}

float weight(Names names, const zarvo_frame& f, int i) {
  switch (names) {
    case Names::vrm0: return f.vowels[tables().vrm0Vowel[i]];
    case Names::vrm1: return f.vowels[i];
    case Names::blendshapes: return f.blendshapes[i];
    case Names::visemes: return f.visemes[i];
  }
  return 0.0f;
}

}  // namespace sending
