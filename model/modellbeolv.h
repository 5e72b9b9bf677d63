// Readers of the head mesh files in the working directory. Elements that cannot be read
// (missing file, short file, bad token) keep their previous values; numbers use the
// classic locale-independent syntax whatever the user's locale. Numbers after the last
// record are ignored. Window thread only; no allocation beyond the file stream.
#pragma once

// "vertex.txt": 347 records (number, x, y, z) into hdindex, hdx, hdy, hdz.
void vertexbeolv();

// "face.txt": 632 records (number, a, b, c) into hdracsindex, hda, hdb, hdc. A file that
// supplies a vertex subscript outside 0..346 is refused as a whole: all four arrays keep
// their previous values, so they only ever hold valid subscripts.
void facebeolv();
