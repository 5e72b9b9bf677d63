// The live animation mode: microphone windows drive the mouth of the head, one frame each.
#pragma once

// Runs one live session (1000 polls, 1 ms sleep each) on the window thread, with the
// rendering context current and the mesh and weights loaded; returns when it ends.
void FAPbeolv();
