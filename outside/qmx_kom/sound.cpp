// Conversion and playback state. Audio conversion is not built yet: every source answers "nothing to
// convert" with the error code kNoConverter, so callers take their documented no-conversion path.

#include <atomic>

#include "outside/qmx_kom/qmx_kom.h"

namespace {

constexpr int32_t kNoConverter = 1;
std::atomic<int32_t> errorCode{0};

}  // namespace

extern "C" {

int32_t SoundPlay(const char* source, int32_t, const char* target) {
  if (source == nullptr || target == nullptr) return 0;
  errorCode = kNoConverter;
  return 0;
}

int32_t SoundSchritt(int32_t) { return 1000; }  // no conversion is ever open

int32_t SoundGetError() { return errorCode; }

int32_t SoundSetError(int32_t code) {
  errorCode = code;
  return 0;
}

int32_t SoundSetPosition(int32_t) { return 0; }
int32_t cdstop() { return 0; }
}
