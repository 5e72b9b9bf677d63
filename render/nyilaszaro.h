// Closes the head's openings other than the mouth in the polygon model.
//
// The mesh is a skin with openings (ours: the neck and the mouth) and a pocket behind the
// lips that fills the open mouth as the live view sees it. From other pans and turns a ray
// through the mouth passes the pocket, runs down the throat and leaves through the neck,
// and the white background shows through the open mouth. Each opening but the mouth is
// drawn closed: a fan of triangles from its centre to its rim, in the skin's material, so
// every ray into the mouth meets the inside of the head.
//
// The openings are the loops of edges that only one triangle has; the mouth's loop is the
// one through the inner lip's middle points (FP 2.2, FP 2.3). They are found again when the
// triangle arrays change; the rims follow the current, possibly deformed, vertices.
// Window thread only, with the rendering context current; allocates nothing.
#pragma once

// Draws the caps inside the current frame (between the frame's start and its buffer swap),
// with the current material. A mesh without such openings draws nothing.
void nyilaszaro();

// The number of openings drawn closed for the current triangle arrays (tests, diagnosis).
int zart_nyilasok();
