// Stands in for the live mode while the program is built without it (no zarvo_live
// target): the live-mode command then returns at once without touching anything.
#include "speech/FAPbeolv.h"

void FAPbeolv() {}
