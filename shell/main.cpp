// The program's entry on Linux: the command line, the desktop window system, then the
// Windows-shaped entry.
#include <cstdio>
#include <memory>
#include <string>

#include "lifelike/look.h"
#include "lipsync/MeshGuard.h"
#include "live/analysis.h"
#include "live/devices.h"
#include "live/modes.h"
#include "model/modellbeolv.h"
#include "model/valtozok.h"
#include "platform/fltk_backend.h"
#include "shell/ablak_beall.h"
#include "shell/parancssor.h"
#include "speech/InfiniteRecorder.h"
#include "speech/LiveRun.h"

int main(int argc, char** argv) {
  const Parancssor p = parancssor(argc, argv);
  if (!p.hiba.empty()) {
    std::fprintf(stderr, "zarvo: %s\n%s", p.hiba.c_str(), kHasznalat);
    return 2;
  }
  if (p.sugo) {
    std::fputs(kHasznalat, stdout);
    return 0;
  }
  if (p.verzio) {
    std::puts("zarvo " ZARVO_VERSION);
    return 0;
  }
  if (p.eszkozlista) return live::printDevices(stdout) ? 0 : 1;
  if (!p.bemenet.empty() || !p.kimenet.empty()) {
    std::string problem;
    const std::vector<live::Device> devices = live::listDevices(&problem);
    for (const auto& [asked, input] : {std::pair{p.bemenet, true}, std::pair{p.kimenet, false}}) {
      if (asked.empty()) continue;
      const int index = live::findDevice(devices, asked, input, &problem);
      if (index < 0) {
        std::fprintf(stderr, "zarvo: %s\n", problem.c_str());
        return 2;
      }
      if (input)
        InfiniteRecorder::chosenInput = index;
      else
        live::outputDevice = index;
    }
  }
  // Checked (the addresses resolved) before the window opens: a mistyped one ends here.
  std::unique_ptr<sending::Outlets> outlets;
  if (!p.kuldes.vmc.empty() || !p.kuldes.osc.empty() || !p.kuldes.names.empty() ||
      !p.kuldes.rate.empty()) {
    std::string problem;
    outlets = sending::Outlets::open(p.kuldes, nullptr, &problem);
    if (!outlets) {
      std::fprintf(stderr, "zarvo: %s\n", problem.c_str());
      return 2;
    }
    live::outlets = outlets.get();
  }
  sima = p.sima;  // --smooth: the polygon model starts smooth-shaded
  artikulacio = !p.tervezett;
  lifelike::setOn(p.elethu);
  // The live run (Enter) computes the designed FAPs and draws them held, as the modes do.
  liveFapsDrawn = [](const int* faps, int* drawn) { lipsync::heldFaps(faps, drawn); };
  if (p.live) inditoParancs = kFolyamatosParancs;
  if (!p.fajl.empty()) {
    parancssoriFajl = p.fajl;
    inditoParancs = kParancssoriFajl;
  }

  // The mesh is looked for beside the installed program and in the source tree too.
  adatmappak(alap_adatmappak());
  HINSTANCE instance = fltk_backend_install();
  char commandLine[] = "";
  const int status = WinMain(instance, nullptr, commandLine, SW_SHOWNORMAL);
  if (outlets) std::fprintf(stderr, "zarvo: sent %s\n", outlets->summary().c_str());
  live::outlets = nullptr;
  return status;
}
