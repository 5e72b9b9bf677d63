// Where a stream of OSC bundles goes: HOST:PORT as the user writes it, resolved once at
// start-up, so a mistyped host or port is told at once (and a send never waits for a name
// server). Main thread, before sending starts.
#pragma once

#include <string>

namespace sending {

struct Address {
  std::string host;   // numeric IPv4: "127.0.0.1"
  std::string port;   // "39539"
  std::string given;  // as the user wrote it, for messages
};

// Reads "HOST:PORT", or HOST alone when `defaultPort` is not null, and resolves the host to
// an IPv4 address for UDP (liblo as Debian builds it sends over IPv4 only; "[IPV6]:PORT" is
// read to be refused by name). False with *problem set to one line (without the option's
// name) when the text, the port (1..65535) or the host is bad.
bool resolve(const std::string& text, const char* defaultPort, Address* out, std::string* problem);

}  // namespace sending
