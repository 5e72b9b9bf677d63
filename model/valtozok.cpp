#include "model/valtozok.h"

double hdindex[348];
double hdx[348];
double hdy[348];
double hdz[348];
int hdracsindex[632];
int hda[632];
int hdb[632];
int hdc[632];

double rotx = 0.0, roty = 0.0, rotz = 0.0;
int rotspeed = 1;
double tolx = 0.0, toly = 0.0;
double d = 0.7;
double feny = 0.5;
int nezetselect = 2;
bool sima = false;
int pontselect = 0;
bool menu = true;

int winX = 224, winY = 10, winW = 576, winH = 720;
