#include "live/devices.h"

#include <portaudio.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "speech/InfiniteRecorder.h"

namespace live {

int outputDevice = -1;

namespace {

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool wholeNumber(const std::string& s) {
  return !s.empty() && s.size() < 9 &&
         std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

std::vector<Device> listDevices(std::string* problem) {
  std::vector<Device> out;
  silenceAudioLibraries();
  const PaError err = Pa_Initialize();
  if (err != paNoError) {
    if (problem) *problem = Pa_GetErrorText(err);
    return out;
  }
  const PaDeviceIndex count = Pa_GetDeviceCount();
  const PaDeviceIndex in = Pa_GetDefaultInputDevice(), outDefault = Pa_GetDefaultOutputDevice();
  for (PaDeviceIndex i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (info == nullptr) continue;
    const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
    out.push_back(Device{i, info->name ? info->name : "", api && api->name ? api->name : "",
                         info->maxInputChannels, info->maxOutputChannels, info->defaultSampleRate,
                         i == in, i == outDefault});
  }
  Pa_Terminate();
  return out;
}

bool printDevices(FILE* out) {
  std::string problem;
  const std::vector<Device> devices = listDevices(&problem);
  if (!problem.empty()) {
    std::fprintf(stderr, "zarvo: audio devices: %s\n", problem.c_str());
    return false;
  }
  std::fprintf(out, "%-5s %-40s %-12s %6s %6s %9s\n", "index", "name", "host API", "in", "out",
               "rate/Hz");
  for (const Device& d : devices) {
    std::string mark;
    if (d.defaultInput) mark += " (default input)";
    if (d.defaultOutput) mark += " (default output)";
    std::fprintf(out, "%-5d %-40s %-12s %6d %6d %9.0f%s\n", d.index, d.name.c_str(),
                 d.hostApi.c_str(), d.inputs, d.outputs, d.defaultRate, mark.c_str());
  }
  if (devices.empty()) std::fprintf(out, "(no audio devices)\n");
  return true;
}

int findDevice(const std::vector<Device>& devices, const std::string& asked, bool input,
               std::string* problem) {
  const char* way = input ? "input" : "output";
  std::vector<const Device*> usable;
  for (const Device& d : devices)
    if ((input ? d.inputs : d.outputs) > 0) usable.push_back(&d);
  auto candidates = [&](const std::vector<const Device*>& list) {
    std::string s;
    for (const Device* d : list)
      s += (s.empty() ? "" : ", ") + std::to_string(d->index) + " \"" + d->name + "\"";
    return s.empty() ? std::string("none") : s;
  };

  if (wholeNumber(asked)) {
    const int index = std::atoi(asked.c_str());
    for (const Device* d : usable)
      if (d->index == index) return index;
    *problem = std::string("no ") + way + " device " + asked + "; " + way +
               " devices: " + candidates(usable);
    return -1;
  }
  const std::string want = lower(asked);
  std::vector<const Device*> matches;
  for (const Device* d : usable)
    if (lower(d->name) == want) return d->index;
  for (const Device* d : usable)
    if (!want.empty() && lower(d->name).find(want) != std::string::npos) matches.push_back(d);
  if (matches.size() == 1) return matches[0]->index;
  if (matches.empty())
    *problem = std::string("no ") + way + " device matches \"" + asked + "\"; " + way +
               " devices: " + candidates(usable);
  else
    *problem = std::string("\"") + asked + "\" matches more than one " + way +
               " device: " + candidates(matches);
  return -1;
}

}  // namespace live
