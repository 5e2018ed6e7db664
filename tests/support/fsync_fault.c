// LD_PRELOAD shim for the tests: makes fsync and fdatasync fail with EIO, or writes fail with
// ENOSPC as on a full disk, on chosen files, on demand. QUIBBLO_FSYNC_TARGET is a path prefix
// (the ledger: its -wal and -shm share it); QUIBBLO_FSYNC_CONTROL a file holding
// "remaining delay_ms injected [write|slow]": while remaining is not 0 each sync (or with
// "write", each write) of a target file fails (a negative remaining fails them all), after
// delay_ms, and counts itself in injected; with "slow" each sync only takes delay_ms longer
// (a slow disk). Several processes may share one control file.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

enum Kind { kSync, kWrite };

static int Inject(int fd, enum Kind kind) {
  const char* target = getenv("QUIBBLO_FSYNC_TARGET");
  const char* control = getenv("QUIBBLO_FSYNC_CONTROL");
  if (!target || !control || !*target) return 0;
  char link[64], path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return 0;
  path[n] = 0;
  if (strncmp(path, target, strlen(target)) != 0) return 0;
  int c = open(control, O_RDWR | O_CLOEXEC);
  if (c < 0) return 0;
  flock(c, LOCK_EX);
  char text[128] = {0};
  long remaining = 0, delay = 0, injected = 0;
  char which[16] = "sync";
  ssize_t got = pread(c, text, sizeof text - 1, 0);
  int fail = got > 0 && sscanf(text, "%ld %ld %ld %15s", &remaining, &delay, &injected, which) >= 1 &&
             remaining != 0 && (strcmp(which, "write") == 0) == (kind == kWrite);
  int slow = strcmp(which, "slow") == 0;
  if (fail) {
    int length = snprintf(text, sizeof text, "%ld %ld %ld %s\n", remaining > 0 ? remaining - 1 : remaining,
                          delay, injected + 1, which);
    if (ftruncate(c, 0) != 0 || pwrite(c, text, (size_t)length, 0) != length) fail = 0;
  }
  close(c);  // and the lock with it
  if (fail && delay > 0) {
    struct timespec t = {delay / 1000, (delay % 1000) * 1000000L};
    nanosleep(&t, NULL);
  }
  return fail && !slow;
}

int fsync(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  if (Inject(fd, kSync)) return errno = EIO, -1;
  return real(fd);
}

int fdatasync(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
  if (Inject(fd, kSync)) return errno = EIO, -1;
  return real(fd);
}

// Only the ledger's own writes: never the control file's, nor a pipe's.
ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
  static ssize_t (*real)(int, const void*, size_t, off_t);
  if (!real) real = (ssize_t (*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite64");
  if (Inject(fd, kWrite)) return errno = ENOSPC, -1;
  return real(fd, data, size, offset);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  static ssize_t (*real)(int, const void*, size_t, off_t);
  if (!real) real = (ssize_t (*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite");
  if (Inject(fd, kWrite)) return errno = ENOSPC, -1;
  return real(fd, data, size, offset);
}
