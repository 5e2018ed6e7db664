// LD_PRELOAD shim for the tests: makes fsync and fdatasync fail with EIO on chosen files, on
// demand. QUIBBLO_FSYNC_TARGET is a path prefix (the ledger: its -wal and -shm share it);
// QUIBBLO_FSYNC_CONTROL a file holding "remaining delay_ms injected": while remaining is not 0
// each sync of a target file fails (a negative remaining fails them all), after delay_ms, and
// counts itself in injected. Several processes may share one control file.
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

static int Inject(int fd) {
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
  ssize_t got = pread(c, text, sizeof text - 1, 0);
  int fail = got > 0 && sscanf(text, "%ld %ld %ld", &remaining, &delay, &injected) >= 1 && remaining != 0;
  if (fail) {
    int length = snprintf(text, sizeof text, "%ld %ld %ld\n", remaining > 0 ? remaining - 1 : remaining,
                          delay, injected + 1);
    if (ftruncate(c, 0) != 0 || pwrite(c, text, (size_t)length, 0) != length) fail = 0;
  }
  close(c);  // and the lock with it
  if (fail && delay > 0) {
    struct timespec t = {delay / 1000, (delay % 1000) * 1000000L};
    nanosleep(&t, NULL);
  }
  return fail;
}

int fsync(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  if (Inject(fd)) return errno = EIO, -1;
  return real(fd);
}

int fdatasync(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
  if (Inject(fd)) return errno = EIO, -1;
  return real(fd);
}
