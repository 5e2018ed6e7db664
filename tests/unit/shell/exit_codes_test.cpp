// The start-up failures that end with the credit server told "TERM": -6 (no display), -7 (no
// question files) and -8 (no sound system), run through the whole start-up against a listener
// on the game's port. The display and the sound system fail by allocations that are refused.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <thread>

#include "platform/ddraw.h"
#include "questions/question_files.h"
#include "shell/shell.h"
#include "sound/sound.h"
#include "support/temp_dir.h"

namespace {
std::atomic<size_t> refusedSize{0};
}

// Allocations of exactly refusedSize bytes that may fail are refused.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (refusedSize != 0 && size == refusedSize) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace {
// Takes one connection on 127.0.0.1:6667 and keeps every byte, answering nothing.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(6667);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Another test may hold the port for a moment.
    for (int tries = 0; tries < 100; ++tries) {
      if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(fd_, 1) == 0) {
        bound_ = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (bound_) thread_ = std::thread([this] { Serve(); });
  }
  ~Listener() {
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    if (thread_.joinable()) thread_.join();
  }
  bool bound() const { return bound_; }
  // Everything the game sent, once it has closed its end.
  std::string Received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }

 private:
  void Serve() {
    int conn = accept(fd_, nullptr, nullptr);
    if (conn < 0) return;
    char buffer[256];
    for (ssize_t got; (got = recv(conn, buffer, sizeof buffer, 0)) > 0;) received_.append(buffer, static_cast<size_t>(got));
    close(conn);
  }
  int fd_ = -1;
  bool bound_ = false;
  std::thread thread_;
  std::string received_;
};

struct Started {
  int code;
  std::string stderrText;
  std::string sent;
};

Started StartGame() {
  Listener server;
  if (!server.bound()) return {1000, "", ""};
  char name[] = "quibblo", headless[] = "--headless", clock[] = "--virtual-clock";
  char* argv[] = {name, headless, clock, nullptr};
  testing::internal::CaptureStderr();
  int code = QuibbloMain(3, argv);
  refusedSize = 0;
  std::string said = testing::internal::GetCapturedStderr();
  return {code, said, server.Received()};
}

// Empty question files count as read; the pictures never come into it.
void WriteEmptyQuestionFiles() {
  std::filesystem::create_directories("Questions/trueorfalse");
  std::filesystem::create_directories("Graphic_resource");
  for (const QuestionFileRow* row = QuestionFiles; row->path; ++row) {
    std::string path = row->path;
    for (char& c : path)
      if (c == '\\') c = '/';
    std::ofstream(path).put('\n');
  }
}

#define SKIP_WHEN_PORT_BUSY(run) \
  if ((run).code == 1000) GTEST_SKIP() << "port 6667 stays busy"

TEST(StartUpExits, NoDisplayEndsWithMinus6AfterTellingTheServer) {
  TempWorkDir dir;
  WriteEmptyQuestionFiles();
  refusedSize = sizeof(IDirectDrawSurface7);
  Started run = StartGame();
  SKIP_WHEN_PORT_BUSY(run);
  EXPECT_EQ(run.code, -6);
  EXPECT_EQ(run.sent, "TERM\r\n");
  EXPECT_NE(run.stderrText.find("the display cannot be started"), std::string::npos) << run.stderrText;
}

TEST(StartUpExits, NoQuestionFilesEndWithMinus7AndSayWhatToDo) {
  TempWorkDir dir;
  Started run = StartGame();
  SKIP_WHEN_PORT_BUSY(run);
  EXPECT_EQ(run.code, -7);
  EXPECT_EQ(run.sent, "TERM\r\n");
  EXPECT_EQ(run.stderrText, "quibblo: no data tree here: run `quibblo-assets --out .`\n");

  // A tree with one question file gone names it.
  WriteEmptyQuestionFiles();
  std::filesystem::remove("Questions/trueorfalse/Data17.pck");
  run = StartGame();
  EXPECT_EQ(run.code, -7);
  EXPECT_NE(run.stderrText.find("question file Questions/trueorfalse/Data17.pck is missing"), std::string::npos)
      << run.stderrText;
}

TEST(StartUpExits, NoSoundSystemEndsWithMinus8AfterTellingTheServer) {
  TempWorkDir dir;
  WriteEmptyQuestionFiles();
  refusedSize = sizeof(SoundSystem);
  Started run = StartGame();
  SKIP_WHEN_PORT_BUSY(run);
  EXPECT_EQ(run.code, -8);
  EXPECT_EQ(run.sent, "TERM\r\n");
  EXPECT_NE(run.stderrText.find("the sound system cannot be started"), std::string::npos) << run.stderrText;
  EXPECT_TRUE(std::filesystem::exists("~system/logs/Quibblo.txt"));
}
}  // namespace
