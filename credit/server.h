// The game's protocol on 127.0.0.1:6667: one thread, many clients, one request at a time.
#pragma once
#include <cstdint>
#include <string>

namespace credit {

constexpr uint16_t kPort = 6667;

// Serves until SIGTERM or SIGINT; returns the process exit code.
int Serve(const std::string& dbPath, uint16_t port = kPort);

}  // namespace credit
