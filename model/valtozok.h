// The program-wide variables: the head mesh arrays and the viewer state.
// All live for the whole process and belong to the window thread.
#pragma once

// Fixed sizes of the head mesh: there are no count variables.
inline constexpr int kVertexCount = 347;  // vertices 0..346
inline constexpr int kFaceCount = 632;    // triangles 0..631

// Vertex arrays (model units); element 347 is never loaded and stays 0.0.
extern double hdindex[348];
extern double hdx[348];
extern double hdy[348];
extern double hdz[348];
// Triangle arrays: hda/hdb/hdc are 0-based vertex subscripts, in winding order.
extern int hdracsindex[632];
extern int hda[632];
extern int hdb[632];
extern int hdc[632];

// Viewer state.
extern double rotx, roty, rotz;  // rotation increments (degrees) for the next frame
extern int rotspeed;             // rotation step in degrees, 1..kRotspeedMax; marker size
extern double tolx, toly;        // pan, model units
extern double d;                 // zoom: half-size of the frustum at the near plane
extern double feny;              // global ambient brightness
extern int nezetselect;          // 0 points, 1 wire mesh, 2 polygons
extern bool sima;                // polygon model smooth-shaded (per-vertex normals), not flat
extern int pontselect;           // selected FP code, 0 for none
extern bool menu;                // build the menu bar at window creation

// Bounds of the viewer state that the commands keep (the live mode's framing lies inside
// them). At d = 0 the frustum is empty and below it the picture turns upside down; at kDmax
// the head is a tenth of its starting size. Beyond kFenyMax the skin washes out to white,
// below kFenyMin the ambient light would subtract. A step beyond half a turn is a smaller
// step the other way; it is also the marker's size in pixels. Past kTolMax the head is out
// of sight even at the widest zoom. Rotation increments are +-rotspeed or the live mode's.
inline constexpr double kDmin = 0.05, kDmax = 7.0;
inline constexpr double kFenyMin = 0.0, kFenyMax = 1.0;
inline constexpr int kRotspeedMax = 180;
inline constexpr double kTolMax = 1000.0;

// Window geometry: position and outer size at creation; after every size notification
// winW == winH == the side of the square viewport.
extern int winX, winY, winW, winH;
