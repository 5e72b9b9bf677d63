#include "sending/outlets.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sending/json.h"

namespace sending {

std::unique_ptr<Outlets> Outlets::open(const Settings& s, FILE* jsonOut, std::string* problem) {
  if (s.vmc.empty() && (!s.names.empty() || !s.rate.empty())) {
    *problem = std::string(s.names.empty() ? "--rate" : "--names") + " goes with --vmc";
    return nullptr;
  }
  std::unique_ptr<Outlets> o(new Outlets);
  o->namesGiven = s.names.empty() ? "vrm0" : s.names;
  if (!namesFrom(o->namesGiven, &o->names)) {
    *problem = "--names: unknown name set \"" + s.names + "\" (" + kNameSets + ")";
    return nullptr;
  }
  if (!s.rate.empty()) {
    char* end = nullptr;
    const double hz = std::strtod(s.rate.c_str(), &end);
    if (*end != '\0' || !std::isfinite(hz) || hz <= 0.0) {
      *problem = "--rate: \"" + s.rate + "\" is not a rate in Hz (a number above 0)";
      return nullptr;
    }
    o->period = 1.0 / hz;
  }
  Address a;
  if (!s.vmc.empty()) {
    if (!resolve(s.vmc, kVmcPort, &a, problem)) {
      *problem = "--vmc: " + *problem;
      return nullptr;
    }
    o->vmc = std::make_unique<Target>(a);
  }
  if (!s.osc.empty()) {
    if (!resolve(s.osc, nullptr, &a, problem)) {
      *problem = "--osc: " + *problem;
      return nullptr;
    }
    o->osc = std::make_unique<Target>(a);
  }
  if (s.json) {
    o->json = jsonOut;
    o->line.reserve(2048);
  }
  return o;
}

Outlets::~Outlets() = default;

bool Outlets::send(const zarvo_frame& f) {
  ++count;
  if (vmc) {
    const double t = f.centre_seconds;
    if (t < last) due = t;  // a new run
    last = t;
    // A little slack: frame times are multiples of 10.7 ms, not of the period.
    if (t + 1e-9 >= due) {
      vmc->send(vmcBundle(names, f));
      due = due + period > t ? due + period : t + period;
    }
  }
  if (osc) osc->send(zarvoBundle(f));
  if (json != nullptr && why.empty()) {
    jsonLine(f, line);
    if (std::fputs(line.c_str(), json) < 0 || std::fflush(json) != 0) {
      gone = errno == EPIPE;
      why = std::string("standard output: ") + std::strerror(errno);
      return false;
    }
    ++lines;
  }
  return why.empty();
}

long Outlets::failures() const { return (vmc ? vmc->failed() : 0) + (osc ? osc->failed() : 0); }

std::string Outlets::summary() const {
  std::string s;
  auto target = [&](const char* kind, const Target* t, const std::string& extra) {
    if (t == nullptr) return;
    if (!s.empty()) s += "; ";
    s += std::string(kind) + " " + t->address().given + extra + ": " + std::to_string(t->sent()) +
         " bundles, " + std::to_string(t->failed()) + " failed";
  };
  target("vmc", vmc.get(), " (" + namesGiven + ")");
  target("osc", osc.get(), "");
  if (json != nullptr)
    s += (s.empty() ? "" : "; ") + std::string("json: ") + std::to_string(lines) + " lines";
  return s;
}

}  // namespace sending
