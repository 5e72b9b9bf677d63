// Readers of the head mesh files in the working directory. Elements that cannot be read
// (missing file, short file, bad token) keep their previous values; numbers use the
// classic locale-independent syntax whatever the user's locale.
#pragma once

void vertexbeolv();  // "vertex.txt": 347 records (number, x, y, z)
void facebeolv();    // "face.txt": 632 records (number, a, b, c)
