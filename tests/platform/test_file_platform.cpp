// The platform services the file layer's tests lean on: counting only the waiters that
// nothing has released yet, the read hook, and local time from seconds.
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

struct TimedWaiter {
  PlatEvent* event;
  std::atomic<int> result{-100};
};

void WaitHundred(void* arg) {
  TimedWaiter* w = static_cast<TimedWaiter*>(arg);
  w->result = PlatEventWait(w->event, 100);
}

}  // namespace

TEST(PlatformWaiters, ReleasedWaitersStopCountingBeforeTheyWake) {
  PlatClockSetManual(1, 0);
  PlatEvent* e = PlatEventCreate(1, 0);
  for (int byClock = 0; byClock < 2; byClock++) {
    TimedWaiter w{e};
    PlatThread* t = PlatThreadStart(WaitHundred, &w);
    PlatWaitForWaiters(1);
    if (byClock)
      PlatClockAdvance(100);
    else
      PlatEventSet(e);
    EXPECT_EQ(PlatWaitingThreadCount(), 0);
    PlatThreadJoin(t);
    EXPECT_EQ(w.result.load(), byClock ? PLAT_WAIT_TIMEOUT : PLAT_WAIT_SIGNALED);
    PlatEventReset(e);
  }
  PlatEventDestroy(e);
  PlatClockSetManual(0);
}

namespace {
void CountRead(void* context) { ++*static_cast<int*>(context); }
}  // namespace

TEST(PlatformFs, ReadHookSeesEveryRead) {
  std::string path;
  PlatFile* f = PlatCreateTempFile("/tmp", "kr_hook", &path);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(PlatFileWrite(f, "abcd", 4), 4);
  PlatFileSeek(f, 0, PLAT_SEEK_SET);
  int calls = 0;
  PlatFsSetReadHook(CountRead, &calls);
  char buf[4];
  EXPECT_EQ(PlatFileRead(f, buf, 2), 2);
  EXPECT_EQ(PlatFileRead(f, buf, 2), 2);
  PlatFsSetReadHook(nullptr, nullptr);
  EXPECT_EQ(PlatFileRead(f, buf, 2), 0);
  EXPECT_EQ(calls, 2);
  PlatFileClose(f);
  PlatFileDelete(path.c_str());
}

TEST(PlatformTime, SecondsBecomeLocalTime) {
  const int64_t seconds = 981173106;  // a Saturday in February 2001
  time_t t = time_t(seconds);
  struct tm local;
  localtime_r(&t, &local);
  PlatDateTime d;
  PlatSecondsToLocalTime(seconds, &d);
  const int got[] = {d.year, d.month, d.day, d.hour, d.minute, d.second, d.dayOfWeek};
  const int want[] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min,         local.tm_sec,     local.tm_wday};
  for (int i = 0; i < 7; i++) EXPECT_EQ(got[i], want[i]) << i;
  EXPECT_EQ(d.milliseconds, 0);
}
