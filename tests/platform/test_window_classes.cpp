// Window classes seen by other processes, and the component runtime stand-in.
#include "platform/com/com.h"
#include "platform/window/classlock.h"
#include "platform/window/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) {
  return PlatDefWindowProc(w, m, wp, lp);
}

// Another process holding a window of the class until its pipe is closed.
struct OtherProcess {
  pid_t pid = -1;
  int release = -1;

  void Start(const char* className) {
    int ready[2], hold[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(hold), 0);
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(ready[0]);
      close(hold[1]);
      PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, className};
      char byte = PlatRegisterClass(&wc) &&
                  PlatCreateWindow(0, className, "other", PLAT_WS_POPUP, 0, 0, 10, 10) != 0;
      if (write(ready[1], &byte, 1) != 1 || read(hold[0], &byte, 1) < 0) _exit(2);
      _exit(0);
    }
    close(ready[1]);
    close(hold[0]);
    char made = 0;
    ASSERT_EQ(read(ready[0], &made, 1), 1);
    close(ready[0]);
    ASSERT_EQ(made, 1);
    release = hold[1];
  }

  void End() {
    close(release);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
  }
};

// The class and the lock directory a test set go again after it: headless classes are
// private to the process unless a directory is set.
class WindowClasses : public ::testing::Test {
 protected:
  std::string directory;
  void SetUp() override { ASSERT_EQ(PlatWindowSelectBackend("headless"), 0); }
  void TearDown() override {
    PlatUnregisterClass("Shared");
    PlatSetClassLockDirectory(nullptr);
    if (!directory.empty()) std::filesystem::remove_all(directory);
  }
};

TEST_F(WindowClasses, AnotherProcessesWindowIsFoundByItsClassAlone) {
  char made[] = "/tmp/kr-classlock-XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  directory = made;
  PlatSetClassLockDirectory(made);
  EXPECT_EQ(PlatFindWindow("Shared", nullptr), 0u);

  OtherProcess other;
  other.Start("shared");  // class names are compared without regard to case
  EXPECT_EQ(PlatFindWindow("Shared", nullptr), PLAT_WND_OTHER_PROCESS);
  EXPECT_EQ(PlatFindWindow("Shared", "other"), 0u);  // titles are not shared
  EXPECT_EQ(PlatFindWindow("Elsewhere", nullptr), 0u);
  EXPECT_EQ(PlatIsWindow(PLAT_WND_OTHER_PROCESS), 0);

  // This process's own window of the class does not hide the other one's end.
  PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, "Shared"};
  ASSERT_EQ(PlatRegisterClass(&wc), 1);
  const PlatWnd mine = PlatCreateWindow(0, "Shared", "mine", PLAT_WS_POPUP, 0, 0, 10, 10);
  EXPECT_EQ(PlatFindWindow("Shared", nullptr), mine);
  PlatDestroyWindow(mine);
  EXPECT_EQ(PlatFindWindow("Shared", nullptr), PLAT_WND_OTHER_PROCESS);

  other.End();  // the mark goes with the process
  EXPECT_EQ(PlatFindWindow("Shared", nullptr), 0u);
}

// One copy per user and display: the class's lock names the display, whatever screen of
// it was asked for.
TEST_F(WindowClasses, LocksAreKeptPerDisplay) {
  const char* was = std::getenv("DISPLAY");
  const std::string kept = was ? was : "";
  const char* waylandWas = std::getenv("WAYLAND_DISPLAY");
  const std::string waylandKept = waylandWas ? waylandWas : "";
  auto pathOn = [](const char* display) {
    setenv("DISPLAY", display, 1);
    return PlatClassLockPath("/run", "D123987X");
  };
  setenv("WAYLAND_DISPLAY", "wayland-0", 1);
  const std::string one = pathOn(":1");
  EXPECT_EQ(pathOn(":1.0"), one);
  EXPECT_EQ(pathOn("localhost:1.2"), pathOn("localhost:1"));
  EXPECT_NE(pathOn(":2"), one);
  EXPECT_NE(pathOn("localhost:1"), one);
  const std::string wayland = pathOn("");
  EXPECT_NE(wayland, one);
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_NE(pathOn(""), wayland);
  EXPECT_EQ(PlatClassLockPath("/run", "D123987X").rfind("/run/kr-class-", 0), 0u);

  if (was) setenv("DISPLAY", kept.c_str(), 1);
  else unsetenv("DISPLAY");
  if (waylandWas) setenv("WAYLAND_DISPLAY", waylandKept.c_str(), 1);
}

TEST_F(WindowClasses, HeadlessWindowsStayPrivateByDefault) {
  OtherProcess other;
  other.Start("Private");
  EXPECT_EQ(PlatFindWindow("Private", nullptr), 0u);
  other.End();
}

TEST(ComRuntime, StartsAreCountedAndAFailureStartsNothing) {
  EXPECT_EQ(PlatComInitialize(), PLAT_COM_OK);
  EXPECT_EQ(PlatComInitialize(), PLAT_COM_FALSE);
  EXPECT_EQ(PlatComStartCount(), 2);
  PlatComFailNextStarts(1, PLAT_COM_E_FAIL);
  EXPECT_EQ(PlatComInitialize(), PLAT_COM_E_FAIL);
  EXPECT_EQ(PlatComStartCount(), 2);
  PlatComUninitialize();
  PlatComUninitialize();
  PlatComUninitialize();  // one too many: ignored
  EXPECT_EQ(PlatComStartCount(), 0);
  EXPECT_EQ(PlatComInitialize(), PLAT_COM_OK);
  PlatComUninitialize();
  EXPECT_EQ(PlatComStartCount(), 0);
}

}  // namespace
