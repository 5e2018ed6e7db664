// The far end of the credit link for tests: a thread that reads each request line, records it
// and answers from a script, chunk by chunk, so replies can arrive split or with extra bytes.
#pragma once
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>

#include "machine/credit_link.h"
#include "platform/net.h"
#include "shell/shell.h"

struct ScriptedReply {
  std::vector<std::string> chunks;  // sent with a pause between them
  bool closeAfter = false;          // hang up instead of (after) answering
};

// Answers one connection from a script, as above; false when the script hung up.
inline bool ServeScript(int far, const std::vector<ScriptedReply>& script, std::string& received) {
  auto readLine = [&] {
    char c;
    for (;;) {
      if (NetRecv(far, &c, 1) <= 0) return false;
      received += c;
      if (c == '\n') return true;
    }
  };
  for (const ScriptedReply& reply : script) {
    if (!readLine()) return true;
    for (size_t i = 0; i < reply.chunks.size(); ++i) {
      if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
      NetSend(far, reply.chunks[i].data(), static_cast<int>(reply.chunks[i].size()));
    }
    if (reply.closeAfter) return false;
  }
  return true;
}

// A real listener on 127.0.0.1 (CreditServerPort is pointed at it), so the game's link can
// drop and reconnect: each connection in turn is answered by the next script.
class TcpFakeServer {
 public:
  explicit TcpFakeServer(std::vector<std::vector<ScriptedReply>> scripts) : scripts_(std::move(scripts)) {
    listener_ = NetListen("127.0.0.1", 0);
    CreditServerPort = NetLocalPort(listener_);
    thread_ = std::thread([this] {
      for (const auto& script : scripts_) {
        int far = NetAccept(listener_);
        if (far == kNoSocket) return;
        if (ServeScript(far, script, received_)) {
          // Whatever else arrives until the game hangs up.
          char buffer[256];
          for (int n; (n = NetRecvWithin(far, buffer, sizeof buffer, 200)) > 0;) received_.append(buffer, n);
        }
        NetClose(far);
        ++served_;
      }
    });
  }
  ~TcpFakeServer() { Stop(); }
  // Everything the game sent, once every script has been served or the game hung up.
  std::string Received() {
    Stop();
    return received_;
  }
  int Served() {
    Stop();
    return served_;
  }

 private:
  void Stop() {
    NetClose(ServerSocket);
    ServerSocket = kNoSocket;
    if (listener_ != kNoSocket) shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    NetClose(listener_);
    listener_ = kNoSocket;
  }
  std::vector<std::vector<ScriptedReply>> scripts_;
  int listener_ = kNoSocket;
  int served_ = 0;
  std::string received_;
  std::thread thread_;
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
