// The vocabularies avatar programs understand, from one frame's visemes and articulated
// FAPs. Pure functions of the frame: no state, any thread, no allocation.
//
// Five vowels (VRM 1.0 names), weights 0..1: the vowel visemes, with the consonants that
// shape the mouth alike lending part of their weight, times kVowelGain, capped at 1:
//   aa  <- aa; kk, DD, nn, TH, RR a little (an open mouth)
//   ih  <- ih; SS, DD a little (spread, nearly closed)
//   ou  <- ou; CH, RR a little (rounded, small)
//   ee  <- E
//   oh  <- oh
//   sil, PP, FF give no vowel: the mouth is closed or shaped by the teeth.
//
// Jaw and mouth blendshapes (the common 52-name face set), 0..1. "open" is the articulated
// jaw (FAP 3) above rest over its range; lips and corners are the articulated FAPs against
// the rest shape, each over the travel speech gives it:
//   jawOpen            (FAP 3 - rest) / 900
//   mouthClose         min(jawOpen, PP): lips held shut while the jaw drops
//   mouthFunnel        oh + 0.5 ou + 0.3 CH
//   mouthPucker        ou + 0.4 oh + 0.3 CH
//   mouthLeft/Right    the corners' sideways stretch difference (FAP 53 - FAP 54) / 400
//   mouthSmileL/R      corner raised above rest (FAP 59 / 60) / 150, with spread E, ih
//   mouthFrownL/R      corner lowered below what the open jaw brings
//   mouthStretchL/R    corner drawn out (FAP 53 / 54 above rest) / 200
//   mouthRollLower     FF (lower lip rolled under the upper teeth)
//   mouthRollUpper     0.3 PP
//   mouthShrugLower    0.6 FF + 0.3 PP
//   mouthShrugUpper    0.3 FF
//   mouthPressL/R      PP
//   mouthLowerDownL/R  lower lip lowered beyond the jaw (FAP 57 / 58) / 400
//   mouthUpperUpL/R    upper lip raised (FAP 55 / 56 below rest) / 120
//
// Cartoon mouth shape: the viseme weights summed per shape, the largest wins:
//   X <- sil   A <- PP   G <- FF   H <- nn   F <- ou   E <- oh, RR
//   D <- aa when the jaw is open beyond half its range, else C
//   C <- E     B <- TH, DD, kk, CH, SS, ih
#pragma once

#include "lipsync/LipSync.h"

namespace lipsync {

// Fills f.vowels, f.blendshapes and f.shape from f.visemes and f.articulated.
void vocabularies(Frame& f);

}  // namespace lipsync
