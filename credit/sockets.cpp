#include "credit/sockets.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace credit {

namespace {
constexpr int kEstablished = 0x01;
constexpr int kListen = 0x0A;
}  // namespace

PortState ParsePortTable(const std::string& table, uint16_t port) {
  PortState s;
  s.readable = true;
  // The kernel writes the address as the raw 32-bit word in host order: 0100007F on x86.
  char loopback[16], any[16];
  uint32_t lo = 0x7F000001;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&lo);
  std::snprintf(loopback, sizeof loopback, "%02X%02X%02X%02X", b[0], b[1], b[2], b[3]);
  std::snprintf(any, sizeof any, "00000000");
  std::istringstream in(table);
  std::string line;
  std::getline(in, line);  // the column heads
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    if (!(fields >> slot >> local >> remote >> state)) continue;
    size_t colon = local.find(':');
    if (colon == std::string::npos) continue;
    std::string address = local.substr(0, colon);
    unsigned long localPort = 0, st = 0;
    if (std::sscanf(local.c_str() + colon + 1, "%lx", &localPort) != 1 ||
        std::sscanf(state.c_str(), "%lx", &st) != 1 || localPort != port)
      continue;
    if (address != loopback && address != any) continue;
    if (st == kListen) s.listening = true;
    if (st == kEstablished) ++s.connected;
  }
  return s;
}

PortState ReadPortState(uint16_t port, const char* tablePath) {
  std::ifstream f(tablePath);
  if (!f) return {};
  std::stringstream text;
  text << f.rdbuf();
  return ParsePortTable(text.str(), port);
}

}  // namespace credit
