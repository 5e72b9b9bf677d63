#include "video/head.h"

#include "model/costav.h"
#include "model/modellbeolv.h"

bool loadHead(std::string& problem) {
  adatmappak(alap_adatmappak());
  vertexbeolv();
  facebeolv();
  Modellhiba h;
  if (uj_modellhiba(h)) {
    problem = h.sor;
    return false;
  }
  tavolsag();
  return true;
}
