// The constant region tables; the weights start at 0 and are filled by tavolsag().
#include "model/costav.h"

#include <cmath>

#include "model/valtozok.h"

// FP 2.1: bottom of the chin
const int h201pivotindex = 136;
const int h201index[40] = {0,   2,   33,  34,  63,  70,  73,  83,  118, 119, 120, 121, 122, 123,
                           124, 125, 126, 136, 139, 140, 141, 159, 162, 233, 234, 237, 249, 250,
                           251, 252, 253, 254, 255, 266, 267, 282, 283, 335, 336, 339};
double h201tav[40];

// FP 2.2: inner upper lip, middle
const int h202pivotindex = 223;
const int h202index[15] = {184, 185, 186, 187, 205, 209, 221, 222,
                           223, 224, 302, 303, 304, 317, 321};
double h202tav[15];

// FP 2.3: inner lower lip, middle
const int h203pivotindex = 203;
const int h203index[15] = {192, 193, 194, 195, 198, 199, 200, 201,
                           202, 203, 309, 310, 313, 314, 315};
double h203tav[15];

// FP 2.4: inner lip, left corner
const int h204pivotindex = 11;
const int h204index[18] = {3, 4, 6, 7, 8, 11, 13, 14, 15, 27, 30, 88, 89, 90, 183, 196, 197, 258};
double h204tav[18];

// FP 2.5: inner lip, right corner
const int h205pivotindex = 42;
const int h205index[18] = {36, 37, 38, 39, 40,  41,  42,  45,  54,
                           57, 74, 84, 85, 101, 102, 103, 301, 312};
double h205tav[18];

// FP 2.6: inner upper lip, left of middle
const int h206pivotindex = 10;
const int h206index[6] = {10, 12, 93, 182, 208, 239};
double h206tav[6];

// FP 2.7: inner upper lip, right of middle
const int h207pivotindex = 43;
const int h207index[6] = {43, 44, 106, 300, 320, 341};
double h207tav[6];

// FP 2.8: inner lower lip, left of middle
const int h208pivotindex = 242;
const int h208index[11] = {94, 95, 188, 189, 190, 191, 204, 206, 207, 242, 243};
double h208tav[11];

// FP 2.9: inner lower lip, right of middle
const int h209pivotindex = 344;
const int h209index[11] = {107, 108, 305, 306, 307, 308, 316, 318, 319, 344, 345};
double h209tav[11];

// FP 2.10: chin boss
const int h210pivotindex = 126;
const int h210index[8] = {118, 121, 124, 125, 126, 249, 250, 255};
double h210tav[8];

// FP 8.1: outer upper lip, middle
const int h801pivotindex = 184;
const int h801index[25] = {166, 167, 168, 173, 174, 184, 185, 186, 187, 205, 209, 210, 221,
                           222, 223, 224, 225, 289, 294, 302, 303, 304, 317, 321, 323};
double h801tav[25];

// FP 8.2: outer lower lip, middle
const int h802pivotindex = 194;
const int h802index[24] = {175, 178, 180, 181, 192, 193, 194, 195, 198, 199, 200, 201,
                           202, 203, 213, 214, 296, 297, 309, 310, 313, 314, 315, 325};
double h802tav[24];

// FP 8.3: outer lip, left corner
const int h803pivotindex = 66;
const int h803index[9] = {64, 65, 66, 133, 163, 164, 229, 235, 236};
double h803tav[9];

// FP 8.4: outer lip, right corner
const int h804pivotindex = 76;
const int h804index[9] = {75, 76, 77, 263, 286, 287, 331, 337, 338};
double h804tav[9];

// FP 8.5: outer upper lip, left of middle
const int h805pivotindex = 93;
const int h805index[14] = {10, 12, 88, 91, 92, 93, 149, 182, 208, 211, 227, 228, 239, 240};
double h805tav[14];

// FP 8.6: outer upper lip, right of middle
const int h806pivotindex = 106;
const int h806index[14] = {43, 44, 101, 104, 105, 106, 274, 300, 320, 322, 329, 330, 341, 342};
double h806tav[14];

// FP 8.7: outer lower lip, left of middle
const int h807pivotindex = 190;
const int h807index[19] = {13,  15,  94,  95,  160, 161, 176, 177, 188, 189,
                           190, 191, 204, 206, 207, 215, 242, 243, 244};
double h807tav[19];

// FP 8.8: outer lower lip, right of middle
const int h808pivotindex = 307;
const int h808index[19] = {84,  85,  107, 108, 284, 285, 295, 298, 305, 306,
                           307, 308, 316, 318, 319, 326, 344, 345, 346};
double h808tav[19];

const double ES = 0.077;
const double ENS = 0.042;
const double MNS = 0.029;
const double MW = 0.051;

namespace {

// Loop state of tavolsag(): the list position being measured, the pivot, and the
// running maximum distance of the current region.
int i;
int i0;
double maxtav;

// The weights are defined with this rounding of pi.
constexpr double kPi = 3.1415926535898;

// Weights of one region: first the distances to the pivot (stored in the weight slots,
// tracking the largest, D), then the raised cosine 1 - (d / D) / s. With spread s = 1
// the rim (d = D) gets weight 0; a larger spread keeps the rim moving too.
//
// A region with D = 0 (every vertex on the pivot, as before any model was read) has no
// defined falloff; so that it never divides by zero it gets weight 0 everywhere and
// moves nothing. A distance that is not finite (coordinates so large that the squares
// overflow) is treated the same way, which keeps every weight finite.
template <int N>
void regio(int pivot, const int (&v)[N], double (&w)[N], double s) {
  i0 = pivot;
  maxtav = 0.0;
  bool veges = true;
  for (i = 0; i < N; ++i) {
    const double dx = hdx[i0] - hdx[v[i]];
    const double dy = hdy[i0] - hdy[v[i]];
    const double dz = hdz[i0] - hdz[v[i]];
    w[i] = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!std::isfinite(w[i])) veges = false;
    if (w[i] > maxtav) maxtav = w[i];
  }
  if (!veges || maxtav == 0.0) {
    for (i = 0; i < N; ++i) w[i] = 0.0;
    return;
  }
  for (i = 0; i < N; ++i) {
    const double t = 1.0 - (w[i] / maxtav) / s;
    w[i] = (1.0 - std::cos(kPi * t)) / 2.0;
  }
}

}  // namespace

void tavolsag() {
  regio(h201pivotindex, h201index, h201tav, 1.0);
  regio(h202pivotindex, h202index, h202tav, 1.0);
  regio(h203pivotindex, h203index, h203tav, 1.0);
  regio(h204pivotindex, h204index, h204tav, 1.0);
  regio(h205pivotindex, h205index, h205tav, 1.0);
  regio(h206pivotindex, h206index, h206tav, 1.0);
  regio(h207pivotindex, h207index, h207tav, 1.0);
  regio(h208pivotindex, h208index, h208tav, 1.0);
  regio(h209pivotindex, h209index, h209tav, 1.0);
  regio(h210pivotindex, h210index, h210tav, 1.0);
  regio(h801pivotindex, h801index, h801tav, 1.0);
  // The outer lower lip follows its point almost rigidly: its rim keeps 0.961940.
  regio(h802pivotindex, h802index, h802tav, 8.0);
  regio(h803pivotindex, h803index, h803tav, 1.0);
  regio(h804pivotindex, h804index, h804tav, 1.0);
  regio(h805pivotindex, h805index, h805tav, 1.0);
  regio(h806pivotindex, h806index, h806tav, 1.0);
  regio(h807pivotindex, h807index, h807tav, 1.0);
  regio(h808pivotindex, h808index, h808tav, 1.0);
}
