// OSC over UDP through liblo: one bundle per frame to one address.
//
//   VMC (vmcBundle): /VMC/Ext/Blend/Val ,sf NAME WEIGHT for each name of the set, then
//     /VMC/Ext/Blend/Apply with no arguments, as avatar programs that take the VMC
//     protocol expect (they apply the values together on Apply).
//   Zarvo's namespace (zarvoBundle), every message stamped first with the window's centre
//   in seconds since the input began (,d):
//     /zarvo/faps        ,d i x 11   FAP 3, 51..60 in FAP units
//     /zarvo/visemes     ,d f x 15   sil PP FF TH DD kk CH SS nn RR aa E ih oh ou
//     /zarvo/vowels      ,d f x 5    aa ih ou ee oh
//     /zarvo/blendshapes ,d f x 22   jawOpen ... mouthUpperUpRight
//     /zarvo/shape       ,d s        A..H or X
//     /zarvo/level       ,d f        dB (-100 for digital silence)
//
// UDP has no receiver to refuse: a send that fails (a network that is down, a buffer
// that is full) is counted and the stream goes on. Sending allocates liblo's messages (a
// few kilobytes a frame) on the calling thread: the analysis thread, never an audio
// callback. One thread at a time per Target.
#pragma once

#include <lo/lo.h>

#include "sending/address.h"
#include "sending/names.h"
#include "zarvo/zarvo.h"

namespace sending {

class Target {
 public:
  explicit Target(const Address& address);
  ~Target();
  Target(const Target&) = delete;
  Target& operator=(const Target&) = delete;

  // Sends and frees `bundle` (null: counted as failed, a message liblo could not make).
  void send(lo_bundle bundle);

  const Address& address() const { return where; }
  long sent() const { return ok; }
  long failed() const { return bad; }

 private:
  Address where;
  lo_address lo;
  long ok = 0, bad = 0;
};

// The bundles of one frame; null when liblo is out of memory. The caller sends them.
lo_bundle vmcBundle(Names names, const zarvo_frame& frame);
lo_bundle zarvoBundle(const zarvo_frame& frame);

}  // namespace sending
