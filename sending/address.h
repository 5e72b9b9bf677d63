// Where a stream of OSC bundles goes: HOST:PORT as the user writes it, resolved once at
// start-up, so a mistyped host or port is told at once (and a send never waits for a name
// server). Main thread, before sending starts.
#pragma once

#include <string>

namespace sending {

struct Address {
  std::string host;   // numeric: "127.0.0.1", "::1"
  std::string port;   // "39539"
  std::string given;  // as the user wrote it, for messages
};

// Reads "HOST:PORT", "[IPV6]:PORT", or HOST alone when `defaultPort` is not null, and
// resolves the host for UDP (a name, IPv4 or IPv6). False with *problem set to one line
// (without the option's name) when the text, the port (1..65535) or the host is bad.
bool resolve(const std::string& text, const char* defaultPort, Address* out, std::string* problem);

}  // namespace sending
