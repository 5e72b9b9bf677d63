// The head mesh for the video tool: found and read the way the program reads it.
//
// The readers look in the working directory first, then in the data folder installed with
// the tool (found from its own location), then in the source tree's data/ (fixed when the
// tool is built), so build/zarvo-render also works from the repository root and an
// installed zarvo-render from anywhere (model/modellbeolv.h).
#pragma once

#include <string>

// Reads the mesh into the model arrays (vertexbeolv, facebeolv) and computes the region
// weights (tavolsag). False, with `problem` set to the readers' one line, when a file is
// in none of the folders or is refused. Window thread only.
bool loadHead(std::string& problem);
