// The face pose of one analysed window: the eleven FAP moves of the mouth and the zoom the
// loudness gives. Shared by everything that draws speech (the live modes, the video tool).
#pragma once

// Applies (sense +1) or takes back (sense -1, same amounts) the mouth pose of a FAP array
// (76 entries indexed by FAP number; 3 and 51..60 are used): each FAP moves one feature
// point along one axis by its value times its FAP unit (MW for the corner stretches 53/54,
// MNS for the rest), through mozgat. The weights must be computed (tavolsag).
void FAPmozgat(const int* faps, int sense);

// Half-size of the frustum (`d`) for a window of the given volume: louder is closer.
// Always within [0.48, 0.54].
double FAPzoom(int volume);

// The live modes' framing: the head raised by kKeretToly (toly) and turned kKeretRotx
// degrees about x (rotx), so that the mouth is seen a little from above.
constexpr double kKeretToly = 42.0;
constexpr double kKeretRotx = 20.0;

// Frames the head for a window of the given volume: toly and rotx as above, d = FAPzoom.
// The other viewer variables are left as they are.
void FAPkeret(int volume);
