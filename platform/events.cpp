#include "platform/events.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

struct Timer::State {
  int intervalMs = 0;
  bool enabled = false;  // as set; an interval of 0 keeps an enabled timer from ticking
  int64_t dueMs = 0;
  std::function<void()> onTick;

  bool running() const { return enabled && intervalMs > 0; }
};

namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

struct Loop {
  std::vector<std::weak_ptr<Timer::State>> timers;
  bool virtualClock = false;
  int64_t virtualNow = 0;
  bool quitRequested = false;

  std::mutex postMutex;
  std::condition_variable posted;
  std::deque<std::function<void()>> postQueue;
};

Loop& loop() {
  static Loop* instance = new Loop();  // lives to the end of the process: timers may outlive statics
  return *instance;
}

int64_t realNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void runPosted() {
  Loop& l = loop();
  std::deque<std::function<void()>> work;
  {
    std::lock_guard lock(l.postMutex);
    work.swap(l.postQueue);
  }
  for (auto& item : work) item();
}

void runDueTimers() {
  Loop& l = loop();
  std::erase_if(l.timers, [](const std::weak_ptr<Timer::State>& t) { return t.expired(); });
  std::vector<std::shared_ptr<Timer::State>> due;
  int64_t now = nowMs();
  for (auto& weak : l.timers)
    if (auto timer = weak.lock(); timer && timer->running() && timer->dueMs <= now) due.push_back(timer);
  std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a->dueMs < b->dueMs; });
  for (auto& timer : due) {
    // Checked again: an earlier handler may have stopped or re-armed this timer.
    if (!timer->running() || timer->dueMs > nowMs()) continue;
    timer->dueMs = nowMs() + timer->intervalMs;
    auto handler = timer->onTick;  // the timer may be destroyed while its handler runs
    if (handler) handler();
  }
}

int64_t nextDueMs() {
  int64_t next = kNever;
  for (auto& weak : loop().timers)
    if (auto timer = weak.lock(); timer && timer->running()) next = std::min(next, timer->dueMs);
  return next;
}

bool hasPosted() {
  std::lock_guard lock(loop().postMutex);
  return !loop().postQueue.empty();
}

// Waits until the given time or until work is posted, whichever comes first.
void waitUntil(int64_t untilMs) {
  Loop& l = loop();
  if (l.virtualClock) {
    if (!hasPosted()) l.virtualNow = std::max(l.virtualNow, untilMs);
    return;
  }
  std::unique_lock lock(l.postMutex);
  int64_t wait = std::min<int64_t>(untilMs - nowMs(), 60'000);
  if (wait > 0) l.posted.wait_for(lock, std::chrono::milliseconds(wait), [&] { return !l.postQueue.empty(); });
}

}  // namespace

Timer::Timer(int intervalMs, std::function<void()> onTick, bool enabled) : state_(std::make_shared<State>()) {
  state_->intervalMs = intervalMs;
  state_->onTick = std::move(onTick);
  loop().timers.push_back(state_);
  setEnabled(enabled);
}

Timer::~Timer() { state_->enabled = false; }

void Timer::setEnabled(bool enabled) {
  state_->enabled = enabled;
  state_->dueMs = nowMs() + state_->intervalMs;
}

bool Timer::enabled() const { return state_->enabled; }

void Timer::setInterval(int intervalMs) {
  state_->intervalMs = intervalMs;
  setEnabled(state_->enabled);
}

int Timer::interval() const { return state_->intervalMs; }

int64_t nowMs() { return loop().virtualClock ? loop().virtualNow : realNowMs(); }

uint32_t tickCount() { return static_cast<uint32_t>(nowMs()); }

void sleepMs(int64_t ms) {
  if (ms <= 0) return;
  if (loop().virtualClock) {
    loop().virtualNow += ms;
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

void doEvents() {
  runPosted();
  runDueTimers();
}

void post(std::function<void()> work) {
  Loop& l = loop();
  {
    std::lock_guard lock(l.postMutex);
    l.postQueue.push_back(std::move(work));
  }
  l.posted.notify_one();
}

bool runUntil(const std::function<bool()>& done, int64_t maxMs) {
  Loop& l = loop();
  int64_t end = maxMs < 0 ? kNever : nowMs() + maxMs;
  l.quitRequested = false;
  while (true) {
    doEvents();
    if (done && done()) return true;
    if (l.quitRequested || nowMs() >= end) return false;
    int64_t until = std::min(nextDueMs(), end);
    if (l.virtualClock && until == kNever && !hasPosted()) return false;  // nothing can ever happen
    waitUntil(until);
  }
}

void run(int64_t maxMs) { runUntil(nullptr, maxMs); }

void quit() { loop().quitRequested = true; }

void useVirtualClock() {
  Loop& l = loop();
  if (l.virtualClock) return;
  l.virtualNow = realNowMs();
  l.virtualClock = true;
}

void useRealClock() {
  Loop& l = loop();
  if (!l.virtualClock) return;
  int64_t shift = realNowMs() - l.virtualNow;
  l.virtualClock = false;
  for (auto& weak : l.timers)
    if (auto timer = weak.lock()) timer->dueMs += shift;
}

bool virtualClockInUse() { return loop().virtualClock; }

}  // namespace platform
