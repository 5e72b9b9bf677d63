#include "render/nyilaszaro.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "model/costav.h"
#include "model/valtozok.h"

namespace {

constexpr int kFelelek = 3 * kFaceCount;  // half-edges: triangle j's are 3j, 3j + 1, 3j + 2

// The triangle arrays the openings were found for.
int mentett[3][kFaceCount];
bool megvan = false;

// Half-edge h runs from honnan[h] to hova[h] in its triangle's winding; -1 for the edges
// of a triangle that is degenerate or names no vertex, which take no part.
int honnan[kFelelek], hova[kFelelek];
// The half-edges leaving each vertex: kimeno[kezdo[v]] .. kimeno[kezdo[v + 1] - 1].
int kezdo[kVertexCount + 2], kimeno[kFelelek];
bool perem[kFelelek];  // the edge belongs to one triangle only
bool bejart[kFelelek];

// The openings drawn closed: their rims' half-edges in order, opening k from
// rim[elso[k]] to rim[elso[k + 1] - 1].
int rim[kFelelek], elso[kFelelek + 1];
int nyilasok = 0;

bool valtozott() {
  const int* most[3] = {hda, hdb, hdc};
  for (int t = 0; t < 3; ++t)
    if (!std::equal(most[t], most[t] + kFaceCount, mentett[t])) return true;
  return false;
}

void felkeres() {
  const int* most[3] = {hda, hdb, hdc};
  for (int t = 0; t < 3; ++t) std::copy(most[t], most[t] + kFaceCount, mentett[t]);
  megvan = true;

  for (int j = 0; j < kFaceCount; ++j) {
    const int v[3] = {hda[j], hdb[j], hdc[j]};
    const bool jo = v[0] != v[1] && v[1] != v[2] && v[0] != v[2] &&
                    std::all_of(v, v + 3, [](int k) { return k >= 0 && k < kVertexCount; });
    for (int k = 0; k < 3; ++k) {
      honnan[3 * j + k] = jo ? v[k] : -1;
      hova[3 * j + k] = jo ? v[(k + 1) % 3] : -1;
    }
  }
  std::fill(kezdo, kezdo + kVertexCount + 2, 0);
  for (int h = 0; h < kFelelek; ++h)
    if (honnan[h] >= 0) ++kezdo[honnan[h] + 2];
  for (int v = 0; v < kVertexCount; ++v) kezdo[v + 2] += kezdo[v + 1];
  for (int h = 0; h < kFelelek; ++h)
    if (honnan[h] >= 0) kimeno[kezdo[honnan[h] + 1]++] = h;

  // An edge is on a rim when no other triangle has it, in either direction (a mesh wound
  // inconsistently still has its inner edges twice).
  for (int h = 0; h < kFelelek; ++h) {
    perem[h] = false;
    bejart[h] = false;
    if (honnan[h] < 0) continue;
    int n = 0;
    for (int v : {honnan[h], hova[h]})
      for (int i = kezdo[v]; i < kezdo[v + 1]; ++i) {
        const int g = kimeno[i];
        n += (honnan[g] == honnan[h] && hova[g] == hova[h]) ||
             (honnan[g] == hova[h] && hova[g] == honnan[h]);
      }
    perem[h] = n == 1;
  }

  // Rims as loops: from a rim half-edge to one leaving its end, until back at the start.
  nyilasok = 0;
  int hossz = 0;
  for (int h = 0; h < kFelelek; ++h) {
    if (!perem[h] || bejart[h]) continue;
    const int eleje = hossz;
    bool szaj = false, zart = false;
    for (int g = h; g >= 0;) {
      bejart[g] = true;
      rim[hossz++] = g;
      szaj = szaj || honnan[g] == h202pivotindex || honnan[g] == h203pivotindex;
      if (hova[g] == honnan[h]) zart = true;
      int kov = -1;
      for (int i = kezdo[hova[g]]; i < kezdo[hova[g] + 1] && kov < 0; ++i)
        if (perem[kimeno[i]] && !bejart[kimeno[i]]) kov = kimeno[i];
      g = zart ? -1 : kov;
    }
    // The mouth stays open, and only a closed rim of three edges or more is an opening.
    if (szaj || !zart || hossz - eleje < 3) {
      hossz = eleje;
      continue;
    }
    elso[nyilasok] = eleje;
    elso[++nyilasok] = hossz;
  }
}

void csucs(int k) {
  glVertex3f(static_cast<GLfloat>(hdx[k]), static_cast<GLfloat>(hdy[k]),
             static_cast<GLfloat>(hdz[k]));
}

}  // namespace

int zart_nyilasok() {
  if (!megvan || valtozott()) felkeres();
  return nyilasok;
}

void nyilaszaro() {
  if (zart_nyilasok() == 0) return;
  glBegin(GL_TRIANGLES);
  for (int k = 0; k < nyilasok; ++k) {
    double cx = 0.0, cy = 0.0, cz = 0.0;
    const int n = elso[k + 1] - elso[k];
    for (int i = elso[k]; i < elso[k + 1]; ++i) {
      cx += hdx[honnan[rim[i]]];
      cy += hdy[honnan[rim[i]]];
      cz += hdz[honnan[rim[i]]];
    }
    cx /= n;
    cy /= n;
    cz /= n;
    for (int i = elso[k]; i < elso[k + 1]; ++i) {
      // The rim edge backwards, as the skin's neighbouring triangle has it forwards: the
      // cap is wound as the skin is, its front outside.
      const int a = hova[rim[i]], b = honnan[rim[i]];
      const double ux = hdx[b] - hdx[a], uy = hdy[b] - hdy[a], uz = hdz[b] - hdz[a];
      const double wx = cx - hdx[a], wy = cy - hdy[a], wz = cz - hdz[a];
      const double nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
      const double e = std::sqrt(nx * nx + ny * ny + nz * nz);
      if (e > 0.0)
        glNormal3f(static_cast<GLfloat>(nx / e), static_cast<GLfloat>(ny / e),
                   static_cast<GLfloat>(nz / e));
      else
        glNormal3f(0.0f, 0.0f, 1.0f);
      csucs(a);
      csucs(b);
      glVertex3f(static_cast<GLfloat>(cx), static_cast<GLfloat>(cy), static_cast<GLfloat>(cz));
    }
  }
  glEnd();
}
