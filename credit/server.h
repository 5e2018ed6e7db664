// The game's protocol on 127.0.0.1:6667: one thread, one game and a few onlookers, one request
// at a time.
#pragma once
#include <cstdint>
#include <string>

#include "credit/ledger.h"

namespace credit {

constexpr uint16_t kPort = 6667;

struct ServeOptions {
  std::string db = "credit.db";
  uint16_t port = kPort;
  // Only this account moves money; the others may read the balances. -1: the server's own.
  int gameUid = -1;
  int64_t payoutCap = kDefaultPayoutCap;
  // A client that sends nothing for this long is closed; one line or reply in progress for
  // more than kRequestSeconds too.
  double idleSeconds = 600;
};

constexpr double kRequestSeconds = 5;
constexpr size_t kMaxOnlookers = 8;

// Serves until SIGTERM or SIGINT; returns the process exit code.
int Serve(const ServeOptions& options);
inline int Serve(const std::string& dbPath, uint16_t port = kPort) {
  ServeOptions options;
  options.db = dbPath;
  options.port = port;
  return Serve(options);
}

}  // namespace credit
