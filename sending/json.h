// One frame as one line of JSON, for scripts (--json):
//
//   {"index":12,"time":0.138667,"level":61.25,"vol":61,"shape":"C",
//    "faps":{"3":310,"51":-40,...,"60":80},
//    "visemes":{"sil":0.01,"PP":0,...},"vowels":{"aa":0.7,...},
//    "blendshapes":{"jawOpen":0.4,...}}
//
// time: the window's centre in seconds since the input began (6 decimals); level in dB;
// weights as the shortest decimals that read back as the same float. The names are the
// library's. No locale is consulted (a decimal point whatever LC_NUMERIC says).
#pragma once

#include <string>

#include "zarvo/zarvo.h"

namespace sending {

// Replaces `line` with the frame's line, newline included. Reuses line's capacity (about
// 1.2 kB): no allocation once it has grown.
void jsonLine(const zarvo_frame& frame, std::string& line);

}  // namespace sending
