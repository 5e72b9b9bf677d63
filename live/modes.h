// The live modes beyond the designed run, as the window procedure calls them: the continuous
// microphone mode and the playing of a speech file with its sound. Each runs inside the
// command that started it, on the window thread, and serves the window's messages between
// its frames (so the window procedure is entered again meanwhile); it returns when it ends.
//
// Defined in live/ (the program links zarvo_modes); the shell only declares them, so a test
// may link a stand-in instead (tests/shell/fake_modes.cpp).
#pragma once

#include "platform/win32.h"

// Command identifiers of the "&Fájl" menu items of the modes.
constexpr UINT kFolyamatosParancs = 9013;  // "&Folyamatos élő mód", a check item
constexpr UINT kMegnyitasParancs = 9014;   // "&Megnyitás…"

// Runs the continuous microphone mode until eloModLeallit(), the window's end or the quit
// request; its menu item is checked meanwhile. A device that cannot be opened, or a stream
// that dies, ends it with a message box.
void folyamatos(HWND hwnd);

// Plays the speech file at `path` (UTF-8): its sound through the output device and the head
// animated in step with it, until its end or eloModLeallit(). A file that cannot be read: a
// message box naming it and saying why.
void lejatszas(HWND hwnd, const char* path);

// The modes draw the articulated FAPs (corrected by the visemes: lips that meet on p b m,
// rounded and spread vowels), not the designed ones; the check item "&Artikuláció" of
// "&Nézet" shows it, --designed clears it. A running mode follows a switch at its next
// window. The designed run (Enter) always draws the designed FAPs.
extern bool artikulacio;

// A mode is running (the caller is inside folyamatos or lejatszas further up the stack).
bool eloModFut();
// Asks the running mode to end before its next frame; nothing when none runs.
void eloModLeallit();
