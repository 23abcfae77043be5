#include "platform/window/classlock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Any byte (Shift-JIS, separators) goes into a file name as hex.
std::string Hex(const std::string& text) {
  std::string hex;
  char digits[3];
  for (unsigned char c : text) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    hex += digits;
  }
  return hex;
}

}  // namespace

std::string PlatClassLockDisplay() {
  const char* x = std::getenv("DISPLAY");
  if (x && x[0]) {
    // ":1" and ":1.0" are the same server: the screen number is left out.
    std::string name = x;
    const size_t colon = name.rfind(':');
    const size_t dot = name.find('.', colon == std::string::npos ? 0 : colon);
    if (colon != std::string::npos && dot != std::string::npos) name.erase(dot);
    return name;
  }
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return wayland && wayland[0] ? std::string("wayland-") + wayland : std::string();
}

std::string PlatClassLockPath(const std::string& directory, const std::string& classKey) {
  // A class is the user's on one desktop: the same name on another display is free.
  return directory + "/kr-class-" + std::to_string(unsigned(getuid())) + "-d" +
         Hex(PlatClassLockDisplay()) + "-" + Hex(classKey) + ".lock";
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
