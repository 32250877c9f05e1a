#pragma once
// The seam between the dispatcher and the work itself: the decode job, the grab and encode controllers
// and the burn component sit behind it.

#include <string>

namespace taskhost {

class Worker;

class JobExecutors {
 public:
  virtual ~JobExecutors() = default;
  // The decode job, called on every dispatch while the command is "decode".
  virtual void decode(Worker& worker) = 0;
  // A job of this kind ("grabwav", "grabmp3", "encode", "burnaudio", "burniso", "cdcopy") has just
  // become the state; it runs inside this call.
  virtual void start(const std::string& command, Worker& worker) = 0;
  // A job is being stopped: close the encoder, then the grab controller.
  virtual void closeAll(Worker& worker) = 0;
  // The worker is ending: unload the encoder and CD forms.
  virtual void unload(Worker& worker) = 0;
};

// What runs until the executors are built: nothing. A job's state changes as the dispatcher sets it.
class NoExecutors : public JobExecutors {
 public:
  void decode(Worker&) override {}
  void start(const std::string&, Worker&) override {}
  void closeAll(Worker&) override {}
  void unload(Worker&) override {}
};

}  // namespace taskhost
