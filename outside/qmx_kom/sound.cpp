// Conversion state of the process: at most one conversion is open at a time, as its callers expect;
// opening another finishes the one before.

#include <atomic>
#include <memory>
#include <mutex>

#include "outside/qmx_kom/conversion.h"
#include "outside/qmx_kom/qmx_kom.h"
#include "platform/paths.h"

namespace {

std::mutex conversionLock;
std::unique_ptr<qmxkom::Conversion> conversion;
std::atomic<int32_t> errorCode{0};

void closeConversion() {
  if (!conversion) return;
  conversion->close();
  if (conversion->error() != qmxkom::kConvertOk) errorCode = conversion->error();
  conversion.reset();
}

}  // namespace

extern "C" {

int32_t SoundPlay(const char* source, int32_t, const char* target) {
  if (source == nullptr || target == nullptr) return 0;
  try {
    std::lock_guard lock(conversionLock);
    closeConversion();
    auto sourceFile = platform::hostPath(source);
    auto targetFile = platform::hostPath(target);
    if (sourceFile.empty()) {
      errorCode = qmxkom::kSourceUnreadable;
      return 0;
    }
    if (targetFile.empty()) {
      errorCode = qmxkom::kTargetUnwritable;
      return 0;
    }
    auto opened = std::make_unique<qmxkom::Conversion>(sourceFile, targetFile);
    if (!opened->isOpen()) {
      errorCode = opened->error();
      return 0;
    }
    conversion = std::move(opened);
    return 1;
  } catch (...) {
    conversion.reset();
    errorCode = qmxkom::kNotAudio;
    return 0;
  }
}

int32_t SoundSchritt(int32_t command) {
  try {
    std::lock_guard lock(conversionLock);
    if (command == 1000) {
      closeConversion();
      return 1000;
    }
    if (!conversion) return 1000;
    int32_t progress = conversion->step();
    if (conversion->error() != qmxkom::kConvertOk) errorCode = conversion->error();
    return progress;
  } catch (...) {
    return 1000;
  }
}

int32_t SoundGetError() { return errorCode; }

int32_t SoundSetError(int32_t code) {
  errorCode = code;
  return 0;
}

// Playback is not part of this system; position and CD playback have nothing to act on.
int32_t SoundSetPosition(int32_t) { return 0; }
int32_t cdstop() { return 0; }
}
