// Camera, lights, materials and the three drawing modes (fixed-function OpenGL).
// All functions need the rendering context current on the calling (window) thread.
#pragma once

void initMapping();  // projection, model-view (pan, no rotation) and square viewport
void lights();       // light 1, global ambient from feny, depth test, two-sided lighting

void modellnezet();  // draws the mode chosen by nezetselect and swaps the buffers
void vertex();       // whole frame: point model
void halo();         // whole frame: wire mesh
void poly();         // whole frame: shaded polygon model

// A look beyond the designed one (lifelike/look.h) that, while set, draws the polygon
// model's whole frame instead; null (the start) leaves the designed frame.
extern void (*polyKep)();

void vertex_og();  // the 347 vertices as points
void halo_og();    // per triangle an open line strip
void poly_og();    // the 632 triangles: flat face normals, or vertex normals when sima is set
void tengelyek();  // the three axes
void rotpont();    // the marker point at the tip of the y axis (size rotspeed)

// Smooth shading (sima): the normal of every vertex is the area-weighted mean of the face
// normals of its triangles, taken from the current, possibly deformed, positions, and of unit
// length; a vertex whose faces cancel out or that no triangle uses gets (0, 0, 1).
// csucsnormalok() fills cnx/cny/cnz; poly_og() calls it in every smooth frame, so the
// shading never lags a deformation.
extern double cnx[348], cny[348], cnz[348];
void csucsnormalok();
