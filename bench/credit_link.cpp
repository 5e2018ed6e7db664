// The money path, each beside its anchor in one run: a plain loopback echo of a request-sized
// message and the game's own query code against that echo peer, then the game's "CGET" round
// trip to the real credit server; a durable "BADD"; SaveRecord beside the same bytes written,
// synced and renamed into place by hand.
// Run: build/bin/bench_credit_link (needs quibblo-credit beside it). It moves into a network
// namespace of its own first, so port 6667 is its own whatever else runs on the machine.
// The "/1" variants keep the ledger and record on /dev/shm, where fsync costs nothing: the
// difference to "/0" (the system's temporary folder, on disk) is the disk's share.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "machine/credit_link.h"
#include "machine/meters.h"
#include "platform/net.h"
#include "shell/shell.h"

namespace fs = std::filesystem;

namespace {
constexpr uint16_t kEchoPort = 6668;

bool WriteText(const char* path, const std::string& text) {
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  bool ok = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd >= 0) close(fd);
  return ok;
}

// A network namespace of its own with loopback up: as root directly, otherwise inside a user
// namespace where this account is root. The servers started later inherit it.
bool Isolate() {
  if (unshare(CLONE_NEWNET) != 0) {
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0 || !WriteText("/proc/self/setgroups", "deny") ||
        !WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
      return false;
  }
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = s >= 0 && ioctl(s, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  up = up && ioctl(s, SIOCSIFFLAGS, &request) == 0;
  if (s >= 0) close(s);
  return up;
}

fs::path WorkDir(int onShm) {
  fs::path base = onShm ? fs::path("/dev/shm") : fs::temp_directory_path();
  fs::path dir = base / ("quibblo-bench-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  fs::create_directories(dir);
  return dir;
}

// The real server, started once per ledger place and stopped by its pid at the end.
struct CreditServerProcess {
  fs::path dir, pidFile;
  explicit CreditServerProcess(int onShm) : dir(WorkDir(onShm)), pidFile(dir / "pid") {
    fs::path exe = fs::read_symlink("/proc/self/exe").parent_path() / "quibblo-credit";
    std::string cmd = "'";
    cmd += exe.string();
    cmd += "' serve --db '";
    cmd += (dir / "credit.db").string();
    cmd += "' 2>/dev/null & echo $! > '";
    cmd += pidFile.string();
    cmd += "'";
    std::system(cmd.c_str());
    for (int i = 0; i < 200; ++i) {
      int s = NetSocket();
      if (NetConnect(s, "127.0.0.1", 6667)) {
        ServerSocket = s;
        return;
      }
      NetClose(s);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~CreditServerProcess() {
    SendTerm();
    NetClose(ServerSocket);
    ServerSocket = kNoSocket;
    std::string pid;
    std::ifstream(pidFile) >> pid;
    if (!pid.empty()) std::system(("kill -TERM " + pid + "; while kill -0 " + pid + " 2>/dev/null; do sleep 0.01; done").c_str());
    fs::remove_all(dir);
  }
};

void Percentiles(benchmark::State& state, std::vector<double>& us) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  state.counters["p50_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
}

template <typename F>
void Timed(benchmark::State& state, F&& f) {
  std::vector<double> us;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  Percentiles(state, us);
}

// The echo peer is a process of its own, like the credit server: this program started again
// with QUIBBLO_BENCH_ECHO set answers each 6-byte request with a 10-byte reply, one connection
// after another, until it is stopped by its pid.
bool RunEchoPeerIfAsked() {
  if (!std::getenv("QUIBBLO_BENCH_ECHO")) {
    // Before any benchmark runs; the echo peer, started again from here, is inside already.
    if (!Isolate()) {
      std::fprintf(stderr, "bench_credit_link: cannot make a network namespace of its own (%s); "
                   "run it as root or where user namespaces are allowed\n", std::strerror(errno));
      std::exit(1);
    }
    return false;
  }
  int listener = NetListen("127.0.0.1", kEchoPort);
  if (listener == kNoSocket) std::exit(1);
  for (;;) {
    int s = NetAccept(listener);
    char request[6];
    for (bool open = s != kNoSocket; open;) {
      for (int got = 0; open && got < 6;) {
        int n = NetRecv(s, request + got, 6 - got);
        open = n > 0;
        got += n;
      }
      open = open && NetSend(s, "CTEL,250\r\n", 10) == 10;
    }
    NetClose(s);
  }
}
const bool kEchoPeer = RunEchoPeerIfAsked();

struct EchoPeerProcess {
  fs::path pidFile = WorkDir(0) / "pid";
  EchoPeerProcess() {
    std::string cmd = "QUIBBLO_BENCH_ECHO=1 '";
    cmd += fs::read_symlink("/proc/self/exe").string();
    cmd += "' & echo $! > '";
    cmd += pidFile.string();
    cmd += "'";
    std::system(cmd.c_str());
  }
  ~EchoPeerProcess() {
    std::string pid;
    std::ifstream(pidFile) >> pid;
    if (!pid.empty()) std::system(("kill " + pid).c_str());
    fs::remove_all(pidFile.parent_path());
  }
};

void BM_LoopbackEcho(benchmark::State& state) {
  static EchoPeerProcess peer;
  int client = kNoSocket;
  for (int i = 0; i < 200 && client == kNoSocket; ++i) {
    client = NetSocket();
    if (!NetConnect(client, "127.0.0.1", kEchoPort)) {
      NetClose(client);
      client = kNoSocket;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  char reply[16];
  bool ok = client != kNoSocket;
  Timed(state, [&] {
    ok = ok && NetSend(client, "CGET\r\n", 6) == 6;
    for (int got = 0; ok && got < 10;) {
      int n = NetRecv(client, reply + got, 10 - got);
      ok = n > 0;
      got += n;
    }
  });
  NetClose(client);
  if (!ok) state.SkipWithError("the echo peer did not answer");
}

// The anchor for BM_CreditQuery: the same client code, a peer that does nothing but answer.
void BM_QueryEcho(benchmark::State& state) {
  static EchoPeerProcess peer;
  CreditServerPort = kEchoPort;
  std::string why;
  for (int i = 0; i < 200 && ConnectCreditServer(why) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  uint16_t credit = 0;
  Timed(state, [&] { credit = QueryCredit(); });
  NetClose(ServerSocket);
  ServerSocket = kNoSocket;
  CreditServerPort = 6667;
  if (credit != 250) state.SkipWithError("the echo peer did not answer");
}

void BM_CreditQuery(benchmark::State& state) {
  CreditServerProcess server(static_cast<int>(state.range(0)));
  uint16_t credit = 0;
  Timed(state, [&] { credit = QueryCredit(); });
  if (credit == 65535) state.SkipWithError("the credit server did not answer");
}

void BM_DurableBankAdd(benchmark::State& state) {
  CreditServerProcess server(static_cast<int>(state.range(0)));
  bool ok = true;
  auto t0 = std::chrono::steady_clock::now();
  Timed(state, [&] { ok = AddBank(1) && ok; });
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  state.counters["commands_per_s"] = static_cast<double>(state.iterations()) / seconds;
  if (!ok) state.SkipWithError("a BADD was refused");
}

void BM_SaveRecord(benchmark::State& state) {
  fs::path old = fs::current_path();
  fs::path dir = WorkDir(static_cast<int>(state.range(0)));
  fs::current_path(dir);
  Timed(state, [] {
    ++Meters[0];
    SaveRecord();
  });
  fs::current_path(old);
  fs::remove_all(dir);
}
// The anchor for BM_SaveRecord: a record's worth of bytes put in place durably by hand.
void BM_WriteSyncRename(benchmark::State& state) {
  fs::path dir = WorkDir(static_cast<int>(state.range(0)));
  std::vector<char> bytes(1893, 'r');
  bool ok = true;
  Timed(state, [&] {
    int folder = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int fd = openat(folder, "record.tmp", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ok = ok && fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
         fsync(fd) == 0;
    if (fd >= 0) close(fd);
    ok = ok && renameat(folder, "record.tmp", folder, "record.rec") == 0 && fsync(folder) == 0;
    if (folder >= 0) close(folder);
  });
  fs::remove_all(dir);
  if (!ok) state.SkipWithError("the record could not be put in place");
}
}  // namespace

BENCHMARK(BM_LoopbackEcho)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QueryEcho)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CreditQuery)->Arg(0)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DurableBankAdd)->Arg(0)->Arg(1)->Iterations(400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteSyncRename)->Arg(0)->Arg(1)->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveRecord)->Arg(0)->Arg(1)->Iterations(200)->Unit(benchmark::kMicrosecond);
