// The far end of the credit link for tests: a thread that reads each request line, records it
// and answers from a script, chunk by chunk, so replies can arrive split or with extra bytes.
#pragma once
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/net.h"
#include "shell/shell.h"

struct ScriptedReply {
  std::vector<std::string> chunks;  // sent with a pause between them
  bool closeAfter = false;          // hang up instead of (after) answering
};

class FakeServer {
 public:
  // Connects ServerSocket to the fake and starts answering `script`, one entry per request.
  explicit FakeServer(std::vector<ScriptedReply> script) : script_(std::move(script)) {
    int near = kNoSocket;
    NetSocketPair(near, far_);
    ServerSocket = near;
    thread_ = std::thread([this] { Run(); });
  }
  ~FakeServer() {
    NetClose(ServerSocket);
    ServerSocket = kNoSocket;
    if (thread_.joinable()) thread_.join();
    NetClose(far_);
  }
  // Everything the game sent, once the game's side has finished (closes the game's end).
  std::string Received() {
    NetClose(ServerSocket);
    ServerSocket = kNoSocket;
    if (thread_.joinable()) thread_.join();
    return received_;
  }

 private:
  bool ReadLine() {
    char c;
    for (;;) {
      int n = NetRecv(far_, &c, 1);
      if (n <= 0) return false;
      received_ += c;
      if (c == '\n') return true;
    }
  }
  void Run() {
    for (const ScriptedReply& reply : script_) {
      if (!ReadLine()) return;
      for (size_t i = 0; i < reply.chunks.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
        NetSend(far_, reply.chunks[i].data(), static_cast<int>(reply.chunks[i].size()));
      }
      if (reply.closeAfter) {
        NetClose(far_);
        far_ = kNoSocket;
        return;
      }
    }
    // Record whatever else arrives (requests nobody answers, "TERM").
    char buffer[256];
    for (int n; (n = NetRecv(far_, buffer, sizeof buffer)) > 0;) received_.append(buffer, n);
  }

  std::vector<ScriptedReply> script_;
  int far_ = kNoSocket;
  std::string received_;
  std::thread thread_;
};
