// Readers of the head mesh files. Elements that cannot be read (missing file, short file,
// bad token) keep their previous values; numbers use the classic locale-independent syntax
// whatever the user's locale. Numbers after the last record are ignored. Window thread
// only; no allocation beyond the file stream and the names of the files and folders.
//
// Each file is read from the working directory; when it is not a readable regular file
// there (missing, a directory, a FIFO that would block, unreadable), from the first folder
// of adatmappak() that has one. A file that is found but holds values the drawing cannot
// use is refused as a whole. What went wrong is kept for uj_modellhiba(), with the line at
// which a file that could not be read whole (a token that is not a number, a cut or empty
// file) stopped.
#pragma once

#include <string>
#include <vector>

// "vertex.txt": 347 records (number, x, y, z) into hdindex, hdx, hdy, hdz. A file that
// supplies a number that is not finite or lies beyond +-1e6 is refused as a whole: in
// single precision such coordinates become infinite and the normals NaN.
void vertexbeolv();

// "face.txt": 632 records (number, a, b, c) into hdracsindex, hda, hdb, hdc. A file that
// supplies a vertex subscript outside 0..346 is refused as a whole: all four arrays keep
// their previous values, so they only ever hold valid subscripts.
void facebeolv();

// The folders searched, in order, after the working directory. None at first, so the
// readers read the working directory alone until the program sets them.
void adatmappak(std::vector<std::string> mappak);

// The program's folders: the installed data folder found from the running executable
// (<prefix>/bin/zarvo -> <prefix>/share/zarvo, so it holds wherever the tree is unpacked),
// then the source tree's data/ as configured at build time.
std::vector<std::string> alap_adatmappak();

// A problem found by the latest read of each file: `sor` one line of English for standard
// error, `szoveg` the Hungarian text of a message box, naming the files and the folders
// tried or the file refused and why.
struct Modellhiba {
  std::string sor, szoveg;
};
// True, with the problem in h, when the latest reads found one that was not handed out
// since; so a problem that persists over many rereads is said once. Reads that find both
// files sound forget what was said, and a later problem is said again.
bool uj_modellhiba(Modellhiba& h);

// The whole head at once, as the tools load it: the folders searched become `mappak`, both
// files are read and the region weights computed (tavolsag, model/costav.h). False, with
// `problem` set to the line of uj_modellhiba, when a file is in none of the folders, is
// refused or could not be read whole; the weights are then left as they were.
bool modellbetolt(std::vector<std::string> mappak, std::string& problem);
