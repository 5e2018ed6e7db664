// What the kernel's socket table says about the game's port: whether the server listens on it
// and how many clients are connected. Read from /proc/net/tcp, so it needs no privilege and
// sees only this network namespace, which is where the game and the server meet.
#pragma once
#include <cstdint>
#include <string>

namespace credit {

struct PortState {
  bool readable = false;  // false: the table could not be read, the other fields mean nothing
  bool listening = false;
  int connected = 0;      // established connections to the port (the game's, normally one)
};

// Parses the text of /proc/net/tcp for 127.0.0.1:`port`.
PortState ParsePortTable(const std::string& table, uint16_t port);
PortState ReadPortState(uint16_t port, const char* tablePath = "/proc/net/tcp");

}  // namespace credit
