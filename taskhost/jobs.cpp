#include "taskhost/jobs.h"

#include <algorithm>

#include "common/basic.h"
#include "common/text.h"
#include "platform/events.h"
#include "platform/files.h"
#include "taskhost/worker.h"

namespace taskhost {
namespace {

constexpr int kDecodeListLimit = 995;
constexpr int64_t kFollowPauseMs = 20;

bool is(std::string_view a, std::string_view b) { return common::equalsNoCase(a, b); }

// Raises the job's progress, never lowering it, and keeps 1000 for the end of the job.
void raiseProgress(Worker& worker, int32_t progress) {
  int32_t& current = worker.status().convertProgress;
  current = std::max(current, std::min(progress, 999));
}

}  // namespace

void WorkerExecutors::attach(Worker& worker) { modules_ = std::make_unique<Modules>(worker); }

// ---- decoding

int32_t WorkerExecutors::CountFiles(Worker& worker) {
  int32_t count = 0;
  while (count <= kDecodeListLimit && !worker.request().files[static_cast<size_t>(count)].empty()) ++count;
  worker.status().convertProgress = 0;
  decode_.pairsDone = 0;
  return count;
}

void WorkerExecutors::decode(Worker& worker) {
  if (is(worker.status().state, "decode")) return;
  worker.status().state = "decode";
  int32_t n = CountFiles(worker);
  decode_.pairCount = common::roundToInt32(n / 2.0).value_or(0);
  worker.status().convertProgress = 0;
  for (int32_t i = 0; i < n; i += 2) {
    if (!is(worker.status().state, "decode")) break;
    decode_.fileProgress = 0;
    DecodeFile(worker, worker.request().files[static_cast<size_t>(i)], worker.request().files[static_cast<size_t>(i + 1)],
               "decode");
    if (worker.ended()) return;
    decode_.pairsDone += 1;
  }
  worker.status().convertProgress = 1000;
}

void WorkerExecutors::DecodeFile(Worker& worker, const std::string& source, const std::string& target,
                                 const std::string& jobName) {
  worker.Log("decode2 " + source + " nach " + target);
  auto length = platform::fileLength(source);
  if (!length || *length == 0 || target.empty()) {
    decode_.fileProgress = 1000;
    return;
  }
  if (platform::fileExists(target)) platform::deleteFile(target);
  Channel& channel = worker.channel();
  int32_t opened = channel.SoundPlay(source, target);
  if (opened == 2000) return worker.EndWorker();
  if (opened == 0) {
    decode_.fileProgress = 1000;
    return;
  }
  decode_.currentTarget = target;
  while (true) {
    platform::doEvents();
    worker.SendStatus();
    if (worker.ended()) return;
    if (!is(worker.status().state, jobName)) {
      decode_.fileProgress = channel.SoundSchritt(1000);
      platform::deleteFile(decode_.currentTarget);
      decode_.fileProgress = 0;
      break;
    }
    for (int step = 0; step < 3; ++step) decode_.fileProgress = channel.SoundSchritt(0);
    if (decode_.pairCount > 0) {
      double p = decode_.pairsDone * 1000.0 / decode_.pairCount + static_cast<double>(decode_.fileProgress) / decode_.pairCount;
      if (auto rounded = common::roundToInt32(p); rounded && *rounded > worker.status().convertProgress)
        worker.status().convertProgress = *rounded;
    }
    if (decode_.fileProgress >= 1000) {
      channel.SoundSchritt(1000);
      decode_.fileProgress = 1000;
      break;
    }
  }
  platform::sleepMs(30);
}

// ---- grab and encode jobs

void WorkerExecutors::start(const std::string& command, Worker& worker) {
  if (!modules_) return;
  JobRequest& request = worker.request();
  worker.status().convertProgress = 0;
  const std::string source = request.files[0], target = request.files[1];
  if (is(command, "grabwav")) {
    grab(worker, command, source, target, 0, 1000);
  } else if (is(command, "grabmp3")) {
    // The track goes into the worker's temporary file, which every stop deletes, and is encoded from there.
    std::string wav = worker.tempFile();
    if (grab(worker, command, source, wav, 0, 500)) encode(worker, command, wav, target, 500, 1000);
    platform::deleteFile(wav);
  } else if (is(command, "encode")) {
    encode(worker, command, source, target, 0, 1000);
  } else {
    return;  // the burn jobs are not built yet: their state is all that changes
  }
  worker.status().convertProgress = 1000;
}

bool WorkerExecutors::follow(Worker& worker, const std::string& command, const std::function<bool()>& done,
                             const std::function<int32_t()>& progress, int32_t from, int32_t to) {
  while (is(worker.status().state, command) && !worker.ended()) {
    platform::doEvents();
    worker.SendStatus();
    if (!is(worker.status().state, command) || worker.ended()) break;
    int32_t share = std::clamp(progress(), 0, 1000);
    raiseProgress(worker, from + (to - from) * share / 1000);
    if (done()) return true;
    platform::sleepMs(kFollowPauseMs);
  }
  return false;
}

bool WorkerExecutors::grab(Worker& worker, const std::string& command, const std::string& track,
                           const std::string& target, int32_t from, int32_t to) {
  GrabController& grabber = modules_->grab;
  std::string_view name = track;
  int32_t number = common::leadingInt32(name.substr(name.size() > 6 ? name.size() - 6 : 0));  // Track05.cda: 5
  modules_->ModuleCommand("grab", "init");
  modules_->ModuleCommand("grab", "start", "", target, std::to_string(number));
  if (!grabber.readingStarted()) {
    modules_->ModuleCommand("grab", "close");
    worker.channel().SoundSetError(kErrorNoTrack);
    return false;
  }
  bool finished = follow(
      worker, command, [&] { return grabber.grabProgress() == 1000; }, [&] { return grabber.grabProgress(); }, from, to);
  if (!finished) return false;  // stopped: the close that came with the stop removed the partial file
  if (grabber.failed()) worker.channel().SoundSetError(kErrorGrabFailed);
  return !grabber.failed() && platform::fileExists(target);
}

bool WorkerExecutors::encode(Worker& worker, const std::string& command, const std::string& source,
                             const std::string& target, int32_t from, int32_t to) {
  JobRequest& request = worker.request();
  EncodeController& encoder = modules_->encode;
  request.encoder = request.quality;  // a job's "quality" chooses the encoder's setting
  int32_t kbits = request.speed == 0 ? 128 : request.speed;
  modules_->ModuleCommand("encode", "init");
  modules_->ModuleCommand("encode", "start", source, target, std::to_string(static_cast<int64_t>(kbits) * 1000));
  if (encoder.encodeProgress() == 1000) {
    worker.channel().SoundSetError(kErrorSourceMissing);
    return false;
  }
  bool finished = follow(
      worker, command, [&] { return encoder.encodeProgress() == 1000; }, [&] { return encoder.form().GetProgress(); },
      from, to);
  if (finished && !platform::fileExists(target)) worker.channel().SoundSetError(kErrorNoResult);
  return finished;
}

void WorkerExecutors::closeAll(Worker&) {
  if (!modules_) return;
  modules_->ModuleCommand("encode", "close");
  modules_->ModuleCommand("grab", "close");
}

void WorkerExecutors::unload(Worker&) {
  if (!modules_) return;
  modules_->encode.unloadForm();
  modules_->grab.unloadForm();
}

}  // namespace taskhost
