// The name sets a VMC receiver can be sent (--names), and the weight of each name in a
// frame. Receivers match names exactly, case included:
//
//   set          names                                   weights
//   -----------  --------------------------------------  ----------------------------------
//   vrm0         A I U E O (VRM 0.x blend shape clips)   the vowels aa ih ou ee oh
//   vrm1         aa ih ou ee oh (VRM 1.0 expressions)    the vowels
//   blendshapes  jawOpen ... mouthUpperUpRight (22)      the jaw and mouth blendshapes
//   visemes      viseme_sil ... viseme_ou (15)           the viseme weights (summing to 1)
//
// The lists come from the library (zarvo_vowel_name and its kin), so they follow it.
// Any thread; nothing allocates after the first call.
#pragma once

#include <string>

#include "zarvo/zarvo.h"

namespace sending {

enum class Names { vrm0, vrm1, blendshapes, visemes };

// The set called `text` ("vrm0", "vrm1", "blendshapes", "visemes"); false for anything else.
bool namesFrom(const std::string& text, Names* names);
// "vrm0|vrm1|blendshapes|visemes", for messages.
extern const char kNameSets[];

// How many names the set has (5, 5, 22, 15); name i of them, static storage.
int nameCount(Names names);
const char* name(Names names, int i);
// The weight of name i in `frame`, 0..1.
float weight(Names names, const zarvo_frame& frame, int i);

}  // namespace sending
