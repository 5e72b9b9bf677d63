// The --vmc and --osc address reader and the --names reader on arbitrary text. An accepted
// address has a host and a port of 1..65535 in plain decimal, and written out again
// (brackets around a host with colons) reads back the same; a refused one says why in one
// line. A name set read has its names, each a plain word.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sending/address.h"
#include "sending/names.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* defaultPort : {static_cast<const char*>(nullptr), "39539"}) {
    std::string host, port, problem;
    if (!sending::parseAddress(text, defaultPort, &host, &port, &problem)) {
      fuzz::check(!problem.empty() && (problem.find('\n') == std::string::npos ||
                                       text.find('\n') != std::string::npos),
                  "a refused address says why in one line");
      continue;
    }
    fuzz::check(!host.empty(), "an accepted address has a host");
    const long number = port.size() <= 5 ? std::stol(port) : 0;
    fuzz::check(number >= 1 && number <= 65535 && std::to_string(number) == port,
                "its port is 1..65535 in plain decimal");
    const std::string again =
        (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + port;
    std::string host2, port2;
    fuzz::check(sending::parseAddress(again, nullptr, &host2, &port2, &problem) && host2 == host &&
                    port2 == port,
                "written out again it reads back the same");
  }
  sending::Names names;
  if (sending::namesFrom(text, &names)) {
    const int n = sending::nameCount(names);
    fuzz::check(n == 5 || n == 15 || n == 22, "a name set has 5, 15 or 22 names");
    for (int i = 0; i < n; ++i) {
      const std::string name = sending::name(names, i);
      fuzz::check(!name.empty() && name.find_first_of(" \t\n\"") == std::string::npos,
                  "each name a plain word");
    }
  }
  return 0;
}
