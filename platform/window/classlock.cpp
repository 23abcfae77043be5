#include "platform/window/classlock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::string PlatClassLockPath(const std::string& directory, const std::string& classKey) {
  // The name may hold any byte (Shift-JIS, separators): it goes into the file name as hex.
  std::string hex;
  char digits[3];
  for (unsigned char c : classKey) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    hex += digits;
  }
  return directory + "/kr-class-" + std::to_string(unsigned(getuid())) + "-" + hex + ".lock";
}

int PlatClassLockHold(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  // A finder holds the lock exclusively only for the moment of its test.
  while (flock(fd, LOCK_SH) != 0) {
    if (errno != EINTR) {
      close(fd);
      return -1;
    }
  }
  return fd;
}

void PlatClassLockRelease(int descriptor) {
  if (descriptor >= 0) close(descriptor);
}

int PlatClassLockHeldElsewhere(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;  // no process ever had the class here
  int held = 0;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    flock(fd, LOCK_UN);
  } else {
    held = errno == EWOULDBLOCK ? 1 : 0;
  }
  close(fd);
  return held;
}

std::string PlatClassLockDefaultDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] && access(runtime, W_OK) == 0) return runtime;
  const char* tmp = std::getenv("TMPDIR");
  return (tmp && tmp[0]) ? tmp : "/tmp";
}
