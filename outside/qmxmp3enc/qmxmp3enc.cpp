// The library's functions over one process-wide encoder.

#include "outside/qmxmp3enc/qmxmp3enc.h"

#include <mutex>

#include "outside/qmxmp3enc/encoder.h"
#include "platform/paths.h"

namespace {

std::mutex encoderLock;
qmxmp3enc::Encoder& encoder() {
  static qmxmp3enc::Encoder instance;
  return instance;
}
bool highQuality = false;

int32_t start(const char* source, const char* target, int32_t rate, bool stream) {
  if (source == nullptr || target == nullptr) return 0;
  try {
    std::lock_guard lock(encoderLock);
    qmxmp3enc::EncodeOrder order;
    order.source = platform::hostPath(source);
    order.target = platform::hostPath(target);
    order.kbps = rate > 0 && rate <= 320 ? rate : 128;
    order.highQuality = highQuality;
    order.stream = stream;
    if (order.source.empty() || order.target.empty()) {
      encoder().stop();
      return 0;
    }
    encoder().start(order);
    return 1;
  } catch (...) {
    return 0;
  }
}

}  // namespace

extern "C" {

int32_t mp3encLoadEncoder() { return 1; }

int32_t mp3encSetQuality(int32_t quality) {
  std::lock_guard lock(encoderLock);
  highQuality = quality != 0;
  return 0;
}

int32_t mp3encStartFile(const char* source, const char* target, int32_t rate) {
  return start(source, target, rate, false);
}

int32_t mp3encStartStream(const char* source, const char* target, int32_t rate) {
  return start(source, target, rate, true);
}

int32_t mp3encGetProgress() { return encoder().progress(); }

int32_t mp3encStop() {
  try {
    std::lock_guard lock(encoderLock);
    encoder().stop();
  } catch (...) {
  }
  return 0;
}

int32_t mp3encStopStream() {
  encoder().endStream();
  return 0;
}

int32_t mp3encUnloadEncoder() { return mp3encStop(); }
}
