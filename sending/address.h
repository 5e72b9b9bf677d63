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

// Reads "HOST:PORT", "[IPV6]:PORT", or HOST alone when `defaultPort` is not null: the host
// as written (brackets removed) and the port as a plain decimal number 1..65535. False with
// *problem set to one line (without the option's name) when the text or the port is bad.
// Pure text; any thread.
bool parseAddress(const std::string& text, const char* defaultPort, std::string* host,
                  std::string* port, std::string* problem);

// parseAddress, then the host resolved to an IPv4 address for UDP (liblo as Debian builds
// it sends over IPv4 only: an IPv6 address is refused by name). False with *problem set
// to one line when the text, the port or the host is bad.
bool resolve(const std::string& text, const char* defaultPort, Address* out, std::string* problem);

}  // namespace sending
