#include "platform/com/com.h"

#include <mutex>

namespace {

struct Com {
  std::mutex mu;
  int starts = 0;
  int failCount = 0;
  int32_t failCode = PLAT_COM_E_FAIL;
  PlatComObserver observer = nullptr;
  void* observerContext = nullptr;
};

Com& C() {
  static Com* c = new Com;
  return *c;
}

thread_local int t_starts = 0;

// Outside the lock, so that the observer may ask for the count.
void Observe(const char* call) {
  Com& c = C();
  PlatComObserver observer;
  void* context;
  {
    std::lock_guard<std::mutex> l(c.mu);
    observer = c.observer;
    context = c.observerContext;
  }
  if (observer) observer(call, context);
}

}  // namespace

int32_t PlatComInitialize() {
  Observe("PlatComInitialize");
  Com& c = C();
  std::lock_guard<std::mutex> l(c.mu);
  if (c.failCount > 0) {
    c.failCount--;
    return c.failCode;
  }
  c.starts++;
  return t_starts++ == 0 ? PLAT_COM_OK : PLAT_COM_FALSE;
}

void PlatComUninitialize() {
  Observe("PlatComUninitialize");
  Com& c = C();
  std::lock_guard<std::mutex> l(c.mu);
  if (t_starts == 0) return;
  t_starts--;
  c.starts--;
}

int PlatComStartCount() {
  Com& c = C();
  std::lock_guard<std::mutex> l(c.mu);
  return c.starts;
}

void PlatComFailNextStarts(int count, int32_t code) {
  Com& c = C();
  std::lock_guard<std::mutex> l(c.mu);
  c.failCount = count > 0 ? count : 0;
  c.failCode = code < 0 ? code : PLAT_COM_E_FAIL;
}

void PlatComSetObserver(PlatComObserver observer, void* context) {
  Com& c = C();
  std::lock_guard<std::mutex> l(c.mu);
  c.observer = observer;
  c.observerContext = context;
}
