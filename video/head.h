// The head mesh for the video tool: found and read the way the program reads it.
//
// The program reads "vertex.txt" and "face.txt" from its working directory. The tool looks
// there first too; when either file is missing it falls back to the source tree's data/
// (fixed when the tool is built), so build/zarvo-render also works from the repository
// root. This is the one place that knows where the mesh comes from.
#pragma once

#include <string>

// Reads the mesh into the model arrays (vertexbeolv, facebeolv) from the first directory
// that holds both files, and computes the region weights (tavolsag). The working directory
// is the same afterwards. False, with `problem` set, when no directory holds the mesh.
// Window thread only.
bool loadHead(std::string& problem);
