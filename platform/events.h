#pragma once
// The event loop of a process: timers, re-entrant DoEvents, Sleep, the tick count and a thread-safe post
// for background workers. Every program and control runs on one thread; only post() may be called from
// others. Tests switch to a virtual clock, under which waiting costs nothing: sleeps advance the clock
// at once and running the loop jumps from one due timer to the next.

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// A timer like the suite's timer controls: while enabled, its handler runs every interval when the loop
// runs. Handlers may call doEvents(), so a timer's handler can run again inside itself once its
// interval has passed, as the suite's handlers do.
class Timer {
 public:
  Timer(int intervalMs, std::function<void()> onTick, bool enabled = true);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Enabling (again) or changing the interval starts a new interval from now.
  void setEnabled(bool enabled);
  bool enabled() const;
  void setInterval(int intervalMs);
  int interval() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// Milliseconds since an arbitrary start, wrapping like the system's tick count.
uint32_t tickCount();
// Milliseconds of the loop's clock, not wrapping.
int64_t nowMs();
// Waits without running anything.
void sleepMs(int64_t ms);
// Runs what is due now (posted work, then due timers) and returns.
void doEvents();
// Thread-safe: queues work for the loop's thread; it runs in the next doEvents() or loop pass.
void post(std::function<void()> work);

// Runs the loop until quit() is called or, when maxMs >= 0, that much time has passed.
void run(int64_t maxMs = -1);
// Runs the loop until done() holds (checked after every pass) or maxMs has passed; true when done held.
bool runUntil(const std::function<bool()>& done, int64_t maxMs);
void quit();

// Tests: a clock that only moves when the loop waits or sleeps.
void useVirtualClock();
void useRealClock();
bool virtualClockInUse();

}  // namespace platform
