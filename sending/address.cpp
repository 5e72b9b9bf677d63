#include "sending/address.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>

namespace sending {

bool parseAddress(const std::string& text, const char* defaultPort, std::string* hostOut,
                  std::string* portOut, std::string* problem) {
  std::string host, port;
  bool hasPort = false;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':')) {
      *problem = "\"" + text + "\" is not HOST:PORT ([IPV6]:PORT for an IPv6 address)";
      return false;
    }
    host = text.substr(1, close - 1);
    hasPort = close + 1 < text.size();
    if (hasPort) port = text.substr(close + 2);
  } else if (std::count(text.begin(), text.end(), ':') == 1) {
    const std::size_t colon = text.find(':');
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    hasPort = true;
  } else {
    host = text;  // a name, an IPv4 address, or an IPv6 one without brackets (no port)
  }
  if (host.empty()) {
    *problem = "\"" + text + "\" names no host";
    return false;
  }
  if (host.find_first_of("[]") != std::string::npos) {
    *problem = "\"" + text + "\" is not HOST:PORT ([IPV6]:PORT for an IPv6 address)";
    return false;
  }
  if (!hasPort) {
    if (defaultPort == nullptr) {
      *problem = "\"" + text + "\" needs a port: HOST:PORT";
      return false;
    }
    port = defaultPort;
  }
  const bool digits =
      !port.empty() && port.size() <= 5 &&
      std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c); });
  const long number = digits ? std::stol(port) : 0;
  if (number < 1 || number > 65535) {
    *problem = "bad port \"" + port + "\" in \"" + text + "\" (a number from 1 to 65535)";
    return false;
  }
  *hostOut = host;
  *portOut = std::to_string(number);
  return true;
}

bool resolve(const std::string& text, const char* defaultPort, Address* out, std::string* problem) {
  std::string host, port;
  if (!parseAddress(text, defaultPort, &host, &port, problem)) return false;
  // Debian's liblo is built for IPv4 alone: an IPv6 address would fail every send.
  if (host.find(':') != std::string::npos) {
    *problem = "\"" + host + "\" is an IPv6 address; OSC goes over IPv4 here";
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int err = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
  if (err != 0 || found == nullptr) {
    *problem = "unknown host \"" + host + "\" (" + gai_strerror(err) + ")";
    return false;
  }
  char numeric[NI_MAXHOST];
  const int named = getnameinfo(found->ai_addr, found->ai_addrlen, numeric, sizeof numeric, nullptr,
                                0, NI_NUMERICHOST);
  freeaddrinfo(found);
  if (named != 0) {
    *problem = "unknown host \"" + host + "\" (" + gai_strerror(named) + ")";
    return false;
  }
  *out = Address{numeric, port, text};
  return true;
}

}  // namespace sending
