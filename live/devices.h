// The sound devices PortAudio sees, and the choice of one by index or by name, for the
// command line (--list-devices, --input-device, --output-device). Window thread or main
// before the window exists; each call initialises and terminates PortAudio itself.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace live {

struct Device {
  int index;  // PortAudio's device index
  std::string name;
  std::string hostApi;
  int inputs, outputs;  // most channels each way
  double defaultRate;   // Hz
  bool defaultInput, defaultOutput;
};

// Every device, in PortAudio's order; empty when PortAudio cannot start (`problem` says why).
std::vector<Device> listDevices(std::string* problem = nullptr);

// One line per device: index, name, host API, input and output channels, default rate; the
// default devices marked. Returns false (after a line on stderr) when PortAudio cannot start.
bool printDevices(FILE* out);

// The device `asked` names among those with channels in the direction asked: a number is an
// index; anything else matches a name case-insensitively as a substring (a whole name that
// matches exactly wins over longer ones containing it). -1 with `problem` set to one line
// naming the candidates when nothing or more than one device matches.
int findDevice(const std::vector<Device>& devices, const std::string& asked, bool input,
               std::string* problem);

// The output device of the modes that play sound: -1 for the default one. Set by main.
extern int outputDevice;

}  // namespace live
