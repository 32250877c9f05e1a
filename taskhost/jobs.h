#pragma once
// The executors behind the dispatcher: the decode job, and the grab and encode jobs that drive their
// controllers until the work is done or the job is stopped.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "taskhost/executors.h"
#include "taskhost/modules.h"

namespace taskhost {

// Error codes the status reports for jobs that end without their result; the conversion library's own
// codes are below 100.
enum JobError : int32_t {
  kErrorSourceMissing = 101,  // an encode's source never appeared
  kErrorNoTrack = 102,        // no reader, no readable disc, or a read the reader refused: nothing started
  kErrorGrabFailed = 103,     // the reader reported a failure
  kErrorNoResult = 104,       // the work ended but its target is missing (no encoder library, say)
};

class WorkerExecutors : public JobExecutors {
 public:
  // The executors need the worker, which needs them: attach once both exist.
  void attach(Worker& worker);

  void decode(Worker& worker) override;
  void start(const std::string& command, Worker& worker) override;
  void closeAll(Worker& worker) override;
  void unload(Worker& worker) override;

  Modules& modules() { return *modules_; }

 private:
  struct DecodeState {
    int32_t pairCount = 0;
    int32_t pairsDone = 0;
    int32_t fileProgress = 0;
    std::string currentTarget;
  };
  int32_t CountFiles(Worker& worker);
  void DecodeFile(Worker& worker, const std::string& source, const std::string& target, const std::string& jobName);

  // Grabs a CD track into a WAV file; progress runs from `from` to `to` per mille. False when no WAV came.
  bool grab(Worker& worker, const std::string& command, const std::string& track, const std::string& target,
            int32_t from, int32_t to);
  bool encode(Worker& worker, const std::string& command, const std::string& source, const std::string& target,
              int32_t from, int32_t to);
  // Lets events run and reports until done() holds or the job is no longer the state.
  bool follow(Worker& worker, const std::string& command, const std::function<bool()>& done,
              const std::function<int32_t()>& progress, int32_t from, int32_t to);

  std::unique_ptr<Modules> modules_;
  DecodeState decode_;
};

}  // namespace taskhost
