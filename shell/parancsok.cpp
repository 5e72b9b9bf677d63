// The viewer's commands. The menus and the key rows that differ only in a value are tables;
// every command draws its frame at once, none waits for a repaint.
#include "shell/parancsok.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "lifelike/look.h"
#include "live/modes.h"
#include "model/modellbeolv.h"
#include "model/mozgat.h"
#include "model/valtozok.h"
#include "render/rajzolo.h"
#include "shell/ablak_beall.h"
#include "shell/parancssor.h"
#include "speech/FAPbeolv.h"

namespace {

// A separator is an item of its own with this identifier and empty text.
constexpr UINT kElvalaszto = 9009;

struct Tetel {
  const char* szoveg;
  UINT id;
};

const Tetel fajl[] = {{"&Vége", 9010},
                      {"", kElvalaszto},
                      {"&Olvas (TempFile.fap)", 9011},
                      {"", kElvalaszto},
                      {"&Folyamatos élő mód", kFolyamatosParancs},
                      {"&Megnyitás…", kMegnyitasParancs}};
const Tetel forgas[] = {
    {"&Forgás gyorsítás", 9002}, {"&Forgás lassítás", 9003}, {"&Forgás visszaállítása", 9004}};
// The smooth-shading item after the designed three is a check item showing sima.
constexpr UINT kSima = 9012;
// The live modes' articulated FAPs (artikulacio, live/modes.h), a check item too.
constexpr UINT kArtikulacio = 9016;
// The lifelike look (lifelike/look.h), a check item too.
constexpr UINT kElethu = 9020;
const Tetel nezet[] = {{"&Vertex modell", 9006},  {"&Háló modell", 9005},
                       {"&Polygon modell", 9008}, {"", kElvalaszto},
                       {"&Sima felület", kSima},  {"&Artikuláció", kArtikulacio},
                       {"&Élethű fej", kElethu}};
// After the designed help, the list of what the program has beyond the design; the
// designed text stays as it is.
constexpr UINT kUjFunkciok = 9021;
const Tetel segitseg[] = {{"&Segítség", 9007}, {"&Új funkciók", kUjFunkciok}};

// The selectable feature points in menu order, group and number; {0, 0} is a separator.
// Item identifier = 9000 + 100 * group + number; the selected code is identifier - 9000.
struct Pont {
  int csoport, szam;
};
const Pont pontok[] = {{2, 1}, {0, 0}, {2, 2}, {2, 3},  {2, 4}, {2, 5}, {2, 6}, {2, 7},
                       {2, 8}, {2, 9}, {0, 0}, {2, 10}, {0, 0}, {8, 1}, {8, 2}, {8, 3},
                       {8, 4}, {8, 5}, {8, 6}, {8, 7},  {8, 8}, {0, 0}, {9, 9}};

UINT pont_id(const Pont& p) { return static_cast<UINT>(9000 + 100 * p.csoport + p.szam); }

const Pont* pont_of(UINT id) {
  for (const Pont& p : pontok)
    if (p.csoport != 0 && pont_id(p) == id) return &p;
  return nullptr;
}

// Each line ends with a line feed, the last one too.
const char kSugo[] =
    "Egy kis segítség a program működéséhez:\n"
    "\n"
    "F1 = villágosít a képen\n"
    "F2 = sötétít a képen\n"
    "\n"
    "A 'Pont kijelölése' menüvel lehet kiválasztani egy FP-t,\n"
    "majd a nyílakkal és PageUp, -Down-nal mozgatni azokat\n"
    "\n"
    "A képet lehet 3D-ben forgatni:\n"
    "Numpad 1 = az x tengely körül forgat pozitív irányba\n"
    "Numpad 3 = az x tengely körül forgat negatív irányba\n"
    "Numpad 4 = az y tengely körül forgat pozitív irányba\n"
    "Numpad 6 = az y tengely körül forgat negatív irányba\n"
    "Numpad 7 =  a z tengely körül forgat pozitív irányba\n"
    "Numpad 9 =  a z tengely körül forgat negatív irányba\n"
    "\n"
    "Mivel a forgás elég lassú, ezért:\n"
    "Numpad 8 = forgás gyorsítása\n"
    "Numpad 2 = forgás lassítása\n"
    "\n"
    "Ha nagyon elforgott a kép, akkor:\n"
    "Numpad 5 = visszaállítás\n"
    "\n"
    "Nem csak forgatni, de eltolni (pan) is lehet:\n"
    "W = felfelé tolás\n"
    "S = lefelé tolás\n"
    "A = balra tolás\n"
    "D = jobbra tolás\n"
    "\n"
    "Zoom:\n"
    "bal klikk = '+'\n"
    "jobb klikk = '-'\n"
    "\n"
    "Ha leakarod játszani a TempFile.fap-ot, akkor ENTER\n";

// The keys, menu items and options beyond the design, one per line.
const char kUjFunkciokSzoveg[] =
    "Az eredeti programhoz képest új:\n"
    "\n"
    "Szóköz = folyamatos élő mód be és ki: a fej addig követi a mikrofont,\n"
    "amíg le nem állítod; közben forgatható, tolható, nagyítható\n"
    "Escape = a futó mód leállítása (ha nem fut mód: kilépés)\n"
    "Egérgörgő = zoom, mint a bal és a jobb klikk (előre: '+', hátra: '-')\n"
    "\n"
    "Fájl menü:\n"
    "Folyamatos élő mód = ugyanaz, mint a Szóköz; pipa jelzi, ha fut\n"
    "Megnyitás… = beszédfájl lejátszása a hangjával, a fej mondja\n"
    "(WAV, FLAC, Ogg, MP3, AIFF …)\n"
    "\n"
    "Nézet menü:\n"
    "Sima felület = a polygon modell simított árnyalással (pipa)\n"
    "Artikuláció = az élő módok és a lejátszás artikulált FAP-okat rajzolnak (pipa);\n"
    "pipa nélkül a tervezett FAP-okat\n"
    "Élethű fej = pislogó szem, fogak, kerekebb felület, élő fej (pipa)\n"
    "\n"
    "Parancssor (zarvo --help):\n"
    "zarvo FÁJL = a fájl lejátszása indításkor\n"
    "--live = indítás folyamatos élő módban\n"
    "--smooth, --lifelike = indítás simított árnyalással, élethű fejjel\n"
    "--designed = indítás a tervezett FAP-okkal (Artikuláció pipa nélkül)\n"
    "--list-devices = a hangeszközök listája\n"
    "--input-device X, --output-device X = hangbemenet, hangkimenet\n"
    "(sorszám vagy a név része)\n"
    "--help, --version = a parancssor leírása, a verziószám\n";

const char kForgatasCim[] = "Forgatás változás!";

// Rotation keys: the increment about one axis becomes +-rotspeed.
struct Forgato {
  WPARAM billentyu;
  double* tengely;
  int elojel;
};
const Forgato forgatok[] = {{VK_NUMPAD1, &rotx, 1}, {VK_NUMPAD3, &rotx, -1},
                            {VK_NUMPAD4, &roty, 1}, {VK_NUMPAD6, &roty, -1},
                            {VK_NUMPAD7, &rotz, 1}, {VK_NUMPAD9, &rotz, -1}};

// Moving keys: the selected point by 0.2 model units along one axis.
struct Mozgato {
  WPARAM billentyu;
  int dx, dy, dz;
};
const Mozgato mozgatok[] = {{VK_RIGHT, 1, 0, 0}, {VK_LEFT, -1, 0, 0}, {VK_UP, 0, 1, 0},
                            {VK_DOWN, 0, -1, 0}, {VK_PRIOR, 0, 0, 1}, {VK_NEXT, 0, 0, -1}};
constexpr double kKezilepes = 0.2;

// Pan keys: one model unit along x or y, then the camera reset.
struct Eltolo {
  WPARAM billentyu;
  double* tol;
  double lepes;
};
const Eltolo eltolok[] = {
    {'D', &tolx, 1.0}, {'A', &tolx, -1.0}, {'W', &toly, 1.0}, {'S', &toly, -1.0}};

void nullaz() { rotx = roty = rotz = 0.0; }

// The designed run blocks the window; what the user did meanwhile is not replayed after it,
// except closing the window and Escape.
void tervezettFutas() {
  nullaz();
  FAPbeolv();
  DropStaleInput();
}

// A command that cannot run inside a running mode ends the mode and comes again once the
// mode has returned to the message loop.
bool modUtan(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!eloModFut()) return false;
  eloModLeallit();
  PostMessageA(hwnd, message, wParam, lParam);
  return true;
}

void megnyitas(HWND hwnd) {
  char utvonal[4096] = "";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd;
  // One pattern per extension and case, the form every native dialog reads.
  ofn.lpstrFilter =
      "Beszéd (hangfájlok)\0"
      "*.wav;*.WAV;*.flac;*.FLAC;*.ogg;*.OGG;*.opus;*.OPUS;*.mp3;*.MP3;*.aif;*.AIF;*.aiff;*.AIFF;"
      "*.raw;*.RAW;*.f32;*.F32\0"
      "Minden fájl\0*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = utvonal;
  ofn.nMaxFile = sizeof utvonal;
  ofn.lpstrTitle = "Beszéd lejátszása";
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  // The folder of the file chosen last comes first again; at first the working directory.
  static std::string mappa;
  ofn.lpstrInitialDir = mappa.empty() ? nullptr : mappa.c_str();
  if (!GetOpenFileNameA(&ofn)) return;
  mappa = std::filesystem::path(utvonal).parent_path().string();
  lejatszas(hwnd, utvonal);
}

// The menu bar menusor() filled, for the check marks of its items.
HMENU menusav = nullptr;

void sima_pipa() {
  CheckMenuItem(menusav, kSima, MF_BYCOMMAND | (sima ? MF_CHECKED : MF_UNCHECKED));
}

void artikulacio_pipa() {
  CheckMenuItem(menusav, kArtikulacio, MF_BYCOMMAND | (artikulacio ? MF_CHECKED : MF_UNCHECKED));
}

void elethu_pipa() {
  CheckMenuItem(menusav, kElethu, MF_BYCOMMAND | (lifelike::isOn() ? MF_CHECKED : MF_UNCHECKED));
}

void gyorsit() {
  if (rotspeed < kRotspeedMax) ++rotspeed;
}

void lassit() {
  --rotspeed;
  if (rotspeed <= 0) rotspeed = 1;
}

void hozzafuz(HMENU sav, const char* cim, const Tetel* tetelek, int n) {
  HMENU legordulo = CreatePopupMenu();
  for (int i = 0; i < n; ++i)
    AppendMenuA(legordulo, tetelek[i].id == kElvalaszto ? MF_SEPARATOR : MF_STRING, tetelek[i].id,
                tetelek[i].szoveg);
  AppendMenuA(sav, MF_POPUP, reinterpret_cast<UINT_PTR>(legordulo), cim);
}

template <int N>
void hozzafuz(HMENU sav, const char* cim, const Tetel (&tetelek)[N]) {
  hozzafuz(sav, cim, tetelek, N);
}

}  // namespace

void menusor(HMENU bar) {
  hozzafuz(bar, "&Fájl", fajl);
  hozzafuz(bar, "&Forgás", forgas);

  HMENU fp = CreatePopupMenu();
  for (const Pont& p : pontok) {
    if (p.csoport == 0) {
      AppendMenuA(fp, MF_SEPARATOR, kElvalaszto, "");
      continue;
    }
    char szoveg[16];
    std::snprintf(szoveg, sizeof szoveg, "&FP %d.%d", p.csoport, p.szam);
    AppendMenuA(fp, MF_STRING, pont_id(p), szoveg);
  }
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(fp), "&FP kijelölése");

  hozzafuz(bar, "&Nézet", nezet);
  menusav = bar;
  sima_pipa();  // a check item from the start, ticked when the program starts smooth
  artikulacio_pipa();
  elethu_pipa();
  hozzafuz(bar, "&Segítség", segitseg);
}

LRESULT menuparancs(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const UINT id = LOWORD(wParam);
  switch (id) {
    case 9002:
      nullaz();
      gyorsit();
      MessageBoxA(hwnd, "A forgatás sebessége felgyorsult!", kForgatasCim, MB_OK);
      modellnezet();
      break;
    case 9003:
      MessageBoxA(hwnd, "A forgatás sebessége lelassult!", kForgatasCim, MB_OK);
      nullaz();
      lassit();
      modellnezet();
      break;
    case 9004:
      // The increments stay: the last one is applied once more to the reset view.
      initMapping();
      modellnezet();
      break;
    case 9005:
      nullaz();
      nezetselect = 1;
      vertexbeolv();
      facebeolv();
      halo();
      modellhiba(hwnd);
      return 0;
    case 9006:
      nullaz();
      nezetselect = 0;
      vertexbeolv();
      vertex();
      modellhiba(hwnd);
      return 0;
    case 9007: MessageBoxA(hwnd, kSugo, "Segítség", MB_OK); break;
    case kUjFunkciok: MessageBoxA(hwnd, kUjFunkciokSzoveg, "Új funkciók", MB_OK); return 0;
    case 9008:
      nullaz();
      nezetselect = 2;
      vertexbeolv();
      facebeolv();
      poly();
      modellhiba(hwnd);
      return 0;
    case 9010: PostQuitMessage(0); break;
    case kSima:
      nullaz();
      sima = !sima;
      sima_pipa();
      modellnezet();
      return 0;
    case kArtikulacio:
      // A running mode follows at its next window; the designed run does not ask.
      artikulacio = !artikulacio;
      artikulacio_pipa();
      return 0;
    case kElethu:
      // Switched on, the look takes the head as read from the files for its neutral pose:
      // hand-made moves are dropped, as a mode change drops them.
      nullaz();
      lifelike::setOn(!lifelike::isOn());
      if (lifelike::isOn() && !eloModFut()) {
        vertexbeolv();
        facebeolv();
        lifelike::meshLoaded();
      }
      elethu_pipa();
      modellnezet();
      modellhiba(hwnd);
      return 0;
    case 9011:
      if (modUtan(hwnd, message, wParam, lParam)) return 0;
      tervezettFutas();
      break;
    case kFolyamatosParancs:
      if (eloModFut())
        eloModLeallit();
      else
        folyamatos(hwnd);
      return 0;
    case kMegnyitasParancs:
      if (modUtan(hwnd, message, wParam, lParam)) return 0;
      megnyitas(hwnd);
      return 0;
    case kParancssoriFajl:
      if (modUtan(hwnd, message, wParam, lParam)) return 0;
      if (!parancssoriFajl.empty()) lejatszas(hwnd, parancssoriFajl.c_str());
      return 0;
    default:
      if (const Pont* p = pont_of(id)) {
        char szoveg[40];
        std::snprintf(szoveg, sizeof szoveg, "A %d.%d-es FP kiválasztva", p->csoport, p->szam);
        MessageBoxA(hwnd, szoveg, "Pontválasztás", MB_OK);
        pontselect = static_cast<int>(id) - 9000;
        return 0;
      }
      break;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT billparancs(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (wParam == VK_ESCAPE) {
    // Escape ends a running mode only; the next one ends the program.
    if (eloModFut())
      eloModLeallit();
    else
      DestroyWindow(hwnd);
    return 0;
  }
  if (wParam == VK_SPACE) return menuparancs(hwnd, WM_COMMAND, kFolyamatosParancs, 0);
  for (const Forgato& f : forgatok)
    if (f.billentyu == wParam) {
      nullaz();
      *f.tengely = f.elojel * rotspeed;
      modellnezet();
      return 0;
    }
  for (const Mozgato& m : mozgatok)
    if (m.billentyu == wParam) {
      nullaz();
      mozgat(pontselect, kKezilepes, m.dx, m.dy, m.dz);
      modellnezet();
      return 0;
    }
  for (const Eltolo& e : eltolok)
    if (e.billentyu == wParam) {
      nullaz();
      *e.tol = std::clamp(*e.tol + e.lepes, -kTolMax, kTolMax);
      initMapping();
      modellnezet();
      return 0;
    }
  switch (wParam) {
    case VK_NUMPAD8:
      nullaz();
      gyorsit();
      modellnezet();
      return 0;
    case VK_NUMPAD2:
      nullaz();
      lassit();
      modellnezet();
      return 0;
    case VK_NUMPAD5:
      nullaz();
      initMapping();
      modellnezet();
      return 0;
    case VK_F1:
      nullaz();
      feny = std::min(feny + 0.05, kFenyMax);
      modellnezet();
      return 0;
    case VK_F2:
      nullaz();
      feny = std::max(feny - 0.05, kFenyMin);
      modellnezet();
      return 0;
    case VK_RETURN:
      if (modUtan(hwnd, message, wParam, lParam)) return 0;
      tervezettFutas();
      break;
    default: break;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

namespace {

// One click's zoom step, in (true) or out; false at the limit, where a click does nothing.
bool nagyit(bool be) {
  // Steps of 0.05 from 0.7 land within rounding of the limit, not on it: a step from there
  // counts as a click at the limit, which does nothing (no frame either).
  constexpr double kLepes = 0.05, kKerekites = 1e-9;
  if (be) {
    if (d <= kDmin + kKerekites) return false;
    d = std::max(d - kLepes, kDmin);
  } else {
    if (d >= kDmax - kKerekites) return false;
    d = std::min(d + kLepes, kDmax);
  }
  return true;
}

// A fine-grained wheel sends parts of a notch; they add up to whole ones.
int kerekMaradek = 0;

}  // namespace

LRESULT egerparancs(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_MOUSEWHEEL) {
    kerekMaradek += GET_WHEEL_DELTA_WPARAM(wParam);
    bool valtozott = false;
    for (; kerekMaradek >= WHEEL_DELTA; kerekMaradek -= WHEEL_DELTA) valtozott |= nagyit(true);
    for (; kerekMaradek <= -WHEEL_DELTA; kerekMaradek += WHEEL_DELTA) valtozott |= nagyit(false);
    if (!valtozott) return 0;
  } else if (!nagyit(message == WM_LBUTTONDOWN)) {
    return 0;
  }
  // The increments are kept: the zoomed view shows the last one applied once.
  initMapping();
  modellnezet();
  return 0;
}
