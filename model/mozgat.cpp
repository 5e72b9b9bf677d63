// Deformation of the head by moves of one feature point; see model/mozgat.h.
#include "model/mozgat.h"

#include "model/costav.h"
#include "model/valtozok.h"

double p909move[3] = {0.0, 0.0, 0.0};

namespace {

// Each region vertex moves by its own share of the move; the lists hold no duplicates,
// so every vertex is updated once per call.
template <int N>
void eltol(const int (&v)[N], const double (&w)[N], double* tengely, double elojel, double amount) {
  for (int k = 0; k < N; ++k) tengely[v[k]] += elojel * w[k] * amount;
}

}  // namespace

void mozgat(int fp, double amount, int dx, int dy, int dz) {
  // The selectors are tested in a fixed order and the first one that holds wins, so a
  // call with several set still moves along one axis only.
  int tengely;
  double elojel;
  if (dx == 1) {
    tengely = 0;
    elojel = 1.0;
  } else if (dx == -1) {
    tengely = 0;
    elojel = -1.0;
  } else if (dy == 1) {
    tengely = 1;
    elojel = 1.0;
  } else if (dy == -1) {
    tengely = 1;
    elojel = -1.0;
  } else if (dz == 1) {
    tengely = 2;
    elojel = 1.0;
  } else if (dz == -1) {
    tengely = 2;
    elojel = -1.0;
  } else {
    return;
  }

  // The teeth move rigidly, without weight, and own no vertex.
  if (fp == 909) {
    p909move[tengely] += elojel * amount;
    return;
  }

  double* const t = tengely == 0 ? hdx : tengely == 1 ? hdy : hdz;
  switch (fp) {
    case 201: eltol(h201index, h201tav, t, elojel, amount); break;
    case 202: eltol(h202index, h202tav, t, elojel, amount); break;
    case 203: eltol(h203index, h203tav, t, elojel, amount); break;
    case 204: eltol(h204index, h204tav, t, elojel, amount); break;
    case 205: eltol(h205index, h205tav, t, elojel, amount); break;
    case 206: eltol(h206index, h206tav, t, elojel, amount); break;
    case 207: eltol(h207index, h207tav, t, elojel, amount); break;
    case 208: eltol(h208index, h208tav, t, elojel, amount); break;
    case 209: eltol(h209index, h209tav, t, elojel, amount); break;
    case 210: eltol(h210index, h210tav, t, elojel, amount); break;
    case 801: eltol(h801index, h801tav, t, elojel, amount); break;
    case 802: eltol(h802index, h802tav, t, elojel, amount); break;
    case 803: eltol(h803index, h803tav, t, elojel, amount); break;
    case 804: eltol(h804index, h804tav, t, elojel, amount); break;
    case 805: eltol(h805index, h805tav, t, elojel, amount); break;
    case 806: eltol(h806index, h806tav, t, elojel, amount); break;
    case 807: eltol(h807index, h807tav, t, elojel, amount); break;
    case 808: eltol(h808index, h808tav, t, elojel, amount); break;
    default: break;  // names no point
  }
}
