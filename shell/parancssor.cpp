#include "shell/parancssor.h"

#include <cstring>

#include "cli/option_value.h"

UINT inditoParancs = 0;
std::string parancssoriFajl;

const char kHasznalat[] =
    "usage: zarvo [--live | FILE] [--smooth] [--lifelike] [--designed]\n"
    "             [--input-device N|NAME] [--output-device N|NAME]\n"
    "             [--vmc HOST[:PORT] [--names SET] [--rate HZ]] [--osc HOST:PORT]\n"
    "       zarvo --list-devices | --help | --version\n"
    "  --live               start in the continuous microphone mode\n"
    "  FILE                 play a speech file with its sound, the head speaking it\n"
    "  --smooth             start with the polygon model smooth-shaded\n"
    "  --lifelike           start in the lifelike look: eyes that blink, teeth, a rounder\n"
    "                       surface, the head moving between words\n"
    "  --designed           the continuous mode and playback draw the designed FAPs,\n"
    "                       not the articulated ones\n"
    "  --list-devices       print the audio devices and end\n"
    "  --input-device X     capture from device X: its index, or part of its name\n"
    "  --output-device X    play through device X\n"
    "  --vmc HOST[:PORT]    the continuous mode and playback send what they draw to an avatar\n"
    "                       program (VMC protocol, port 39539 when none); --names SET picks\n"
    "                       the names (vrm0, vrm1, blendshapes, visemes), --rate HZ how often\n"
    "  --osc HOST:PORT      and everything in Zarvo's OSC namespace (zarvo-stream(1))\n"
    "  --help, --version    print this text, or the name and version, and end\n";

Parancssor parancssor(int argc, const char* const* argv) {
  Parancssor p;
  bool opciok = true;  // still reading options
  for (int i = 1; i < argc && p.hiba.empty(); ++i) {
    const std::string a = argv[i];
    // An option with a value: "--name VALUE" or "--name=VALUE"; `mi` says what it takes.
    auto ertek = [&](const char* nev, std::string* hova,
                     const char* mi = "a device (its index or part of its name)") {
      const cli::Value v = cli::optionValue(argc, argv, i, nev, hova);
      if (v == cli::Value::kMissing) p.hiba = std::string(nev) + " needs " + mi;
      if (v == cli::Value::kEmpty)
        p.hiba = std::string(nev) + " needs " + mi + ", not an empty text";
      return v != cli::Value::kOther;
    };
    if (opciok && a == "--") {
      opciok = false;
    } else if (opciok && a == "--live") {
      p.live = true;
    } else if (opciok && a == "--smooth") {
      p.sima = true;
    } else if (opciok && a == "--lifelike") {
      p.elethu = true;
    } else if (opciok && a == "--designed") {
      p.tervezett = true;
    } else if (opciok && a == "--list-devices") {
      p.eszkozlista = true;
    } else if (opciok && (a == "--help" || a == "-h")) {
      p.sugo = true;
    } else if (opciok && a == "--version") {
      p.verzio = true;
    } else if (opciok &&
               (ertek("--input-device", &p.bemenet) || ertek("--output-device", &p.kimenet) ||
                ertek("--vmc", &p.kuldes.vmc, "an address (HOST or HOST:PORT)") ||
                ertek("--osc", &p.kuldes.osc, "an address (HOST:PORT)") ||
                ertek("--names", &p.kuldes.names, "a name set (vrm0|vrm1|blendshapes|visemes)") ||
                ertek("--rate", &p.kuldes.rate, "a rate in Hz"))) {
    } else if (opciok && a.size() > 1 && a[0] == '-') {
      p.hiba = "unknown option " + a;
    } else if (!p.fajl.empty()) {
      p.hiba = "one file at a time (" + p.fajl + ", " + a + ")";
    } else {
      p.fajl = a;
    }
  }
  if (p.hiba.empty() && p.live && !p.fajl.empty())
    p.hiba = "--live and a file cannot go together: the mode listens or it plays";
  return p;
}
