// The program's command line:
//   zarvo [--live | FILE] [--smooth] [--lifelike] [--designed] [--input-device N|NAME]
//         [--output-device N|NAME] [--vmc HOST[:PORT] [--names SET] [--rate HZ]]
//         [--osc HOST:PORT]
//   zarvo --list-devices
//   zarvo --help | --version
// Options may come in any order; "--" ends them (a FILE named like an option follows it).
// Pure parsing: the devices are looked up by main, which knows the audio library.
#pragma once

#include <string>

#include "platform/win32.h"
#include "sending/settings.h"

struct Parancssor {
  bool live = false;         // --live: the continuous microphone mode from the start
  std::string fajl;          // FILE: played once the window is up; empty for none
  bool sima = false;         // --smooth: the polygon model starts smooth-shaded
  bool elethu = false;       // --lifelike: the polygon model starts in the lifelike look
  bool tervezett = false;    // --designed: the live modes draw the designed FAPs
  bool eszkozlista = false;  // --list-devices: print the devices and end
  bool sugo = false;         // --help
  bool verzio = false;       // --version: the name and the version, then end
  std::string bemenet;       // --input-device: index or part of a name; empty: default
  std::string kimenet;       // --output-device
  sending::Settings kuldes;  // --vmc, --osc, --names, --rate: where the modes send frames
  std::string hiba;          // empty, or one line saying what is wrong (exit status 2)
};

Parancssor parancssor(int argc, const char* const* argv);

// The usage text, lines ended by line feeds.
extern const char kHasznalat[];

// What the command line asks the window to do once it exists: 0 for nothing, else a
// WM_COMMAND identifier that WinMain posts to the new window (the continuous mode, or
// kParancssoriFajl with the file in parancssoriFajl).
extern UINT inditoParancs;
extern std::string parancssoriFajl;
constexpr UINT kParancssoriFajl = 9015;  // not in any menu: plays parancssoriFajl
