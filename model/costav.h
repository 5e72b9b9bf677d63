// Feature-point influence regions, their raised-cosine weights and the FAP units.
//
// Every feature point (FP code 100 * group + index) except 909 owns a region: a pivot
// vertex (the FP itself) and a sorted list of vertex subscripts into hdx/hdy/hdz, with a
// parallel weight list filled by tavolsag(). Lengths are fixed constants of the tables.
// Window thread only.
#pragma once

extern const int h201pivotindex;  // FP 2.1, bottom of the chin
extern const int h201index[40];
extern double h201tav[40];

extern const int h202pivotindex;  // FP 2.2, inner upper lip, middle
extern const int h202index[15];
extern double h202tav[15];

extern const int h203pivotindex;  // FP 2.3, inner lower lip, middle
extern const int h203index[15];
extern double h203tav[15];

extern const int h204pivotindex;  // FP 2.4, inner lip, left corner
extern const int h204index[18];
extern double h204tav[18];

extern const int h205pivotindex;  // FP 2.5, inner lip, right corner
extern const int h205index[18];
extern double h205tav[18];

extern const int h206pivotindex;  // FP 2.6, inner upper lip, left of middle
extern const int h206index[6];
extern double h206tav[6];

extern const int h207pivotindex;  // FP 2.7, inner upper lip, right of middle
extern const int h207index[6];
extern double h207tav[6];

extern const int h208pivotindex;  // FP 2.8, inner lower lip, left of middle
extern const int h208index[11];
extern double h208tav[11];

extern const int h209pivotindex;  // FP 2.9, inner lower lip, right of middle
extern const int h209index[11];
extern double h209tav[11];

extern const int h210pivotindex;  // FP 2.10, chin boss
extern const int h210index[8];
extern double h210tav[8];

extern const int h801pivotindex;  // FP 8.1, outer upper lip, middle
extern const int h801index[25];
extern double h801tav[25];

extern const int h802pivotindex;  // FP 8.2, outer lower lip, middle
extern const int h802index[24];
extern double h802tav[24];

extern const int h803pivotindex;  // FP 8.3, outer lip, left corner
extern const int h803index[9];
extern double h803tav[9];

extern const int h804pivotindex;  // FP 8.4, outer lip, right corner
extern const int h804index[9];
extern double h804tav[9];

extern const int h805pivotindex;  // FP 8.5, outer upper lip, left of middle
extern const int h805index[14];
extern double h805tav[14];

extern const int h806pivotindex;  // FP 8.6, outer upper lip, right of middle
extern const int h806index[14];
extern double h806tav[14];

extern const int h807pivotindex;  // FP 8.7, outer lower lip, left of middle
extern const int h807index[19];
extern double h807tav[19];

extern const int h808pivotindex;  // FP 8.8, outer lower lip, right of middle
extern const int h808index[19];
extern double h808tav[19];

// FAP units: model units per FAP step (MPEG-4 names).
extern const double ES;   // eye separation
extern const double ENS;  // eye-nose separation
extern const double MNS;  // mouth-nose separation
extern const double MW;   // mouth width

// Recomputes all 18 weight lists from the current vertex positions: weight 1 at the
// pivot, falling along a raised cosine of the distance to 0 at the region's farthest
// vertex (FP 8.2 uses spread 8 and keeps at least 0.961940). Each region on its own, in
// table order. A region whose vertices all sit on the pivot (as before any mesh was
// read), or whose distances overflow, gets weight 0 everywhere, so it moves nothing.
// Touches no vertex position and no teeth displacement; allocates nothing.
void tavolsag();
