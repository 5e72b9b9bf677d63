// The head mesh for the video tool, found and read the way the program reads it: the
// working directory first, then the program's folders (alap_adatmappak), so
// build/zarvo-render also works from the repository root and an installed zarvo-render
// from anywhere. The loading itself is modellbetolt (model/modellbeolv.h).
#pragma once

#include <string>

#include "model/modellbeolv.h"

inline bool loadHead(std::string& problem) { return modellbetolt(alap_adatmappak(), problem); }
