#include "sending/osc.h"

#include <utility>

namespace sending {

Target::Target(const Address& address)
    : where(address), lo(lo_address_new(address.host.c_str(), address.port.c_str())) {}

Target::~Target() {
  if (lo != nullptr) lo_address_free(lo);
}

void Target::send(lo_bundle bundle) {
  if (bundle != nullptr && lo != nullptr && lo_send_bundle(lo, bundle) >= 0)
    ++ok;
  else
    ++bad;
  if (bundle != nullptr) lo_bundle_free_recursive(bundle);
}

namespace {

// Adds `m` (already filled) to `b`; false, with `m` freed, when liblo cannot.
bool add(lo_bundle b, const char* path, lo_message m) {
  if (m == nullptr) return false;
  if (lo_bundle_add_message(b, path, m) == 0) return true;
  lo_message_free(m);
  return false;
}

lo_message stamped(const zarvo_frame& f) {
  lo_message m = lo_message_new();
  if (m != nullptr) lo_message_add_double(m, f.centre_seconds);
  return m;
}

lo_message floats(const zarvo_frame& f, const float* values, int n) {
  lo_message m = stamped(f);
  if (m != nullptr)
    for (int i = 0; i < n; ++i) lo_message_add_float(m, values[i]);
  return m;
}

lo_bundle done(lo_bundle b, bool whole) {
  if (whole) return b;
  lo_bundle_free_recursive(b);
  return nullptr;
}

}  // namespace

lo_bundle vmcBundle(Names names, const zarvo_frame& f) {
  lo_bundle b = lo_bundle_new(LO_TT_IMMEDIATE);
  if (b == nullptr) return nullptr;
  bool whole = true;
  for (int i = 0; i < nameCount(names) && whole; ++i) {
    lo_message m = lo_message_new();
    if (m != nullptr) {
      lo_message_add_string(m, name(names, i));
      lo_message_add_float(m, weight(names, f, i));
    }
    whole = add(b, "/VMC/Ext/Blend/Val", m);
  }
  return done(b, whole && add(b, "/VMC/Ext/Blend/Apply", lo_message_new()));
}

lo_bundle zarvoBundle(const zarvo_frame& f) {
  lo_bundle b = lo_bundle_new(LO_TT_IMMEDIATE);
  if (b == nullptr) return nullptr;
  lo_message faps = stamped(f);
  if (faps != nullptr)
    for (int i = 0; i < ZARVO_FAPS; ++i) lo_message_add_int32(faps, f.faps[i]);
  lo_message shape = stamped(f);
  const char letter[2] = {f.shape, '\0'};
  if (shape != nullptr) lo_message_add_string(shape, letter);
  const float level = static_cast<float>(f.level);
  const std::pair<const char*, lo_message> parts[] = {
      {"/zarvo/faps", faps},
      {"/zarvo/visemes", floats(f, f.visemes, ZARVO_VISEMES)},
      {"/zarvo/vowels", floats(f, f.vowels, ZARVO_VOWELS)},
      {"/zarvo/blendshapes", floats(f, f.blendshapes, ZARVO_BLENDSHAPES)},
      {"/zarvo/shape", shape},
      {"/zarvo/level", floats(f, &level, 1)}};
  bool whole = true;
  for (const auto& [path, m] : parts)
    if (whole)
      whole = add(b, path, m);
    else if (m != nullptr)
      lo_message_free(m);
  return done(b, whole);
}

}  // namespace sending
