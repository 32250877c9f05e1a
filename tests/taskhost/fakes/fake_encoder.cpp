// An MP3 encoder library for the worker's tests: it "encodes" by copying, in a given number of steps of
// progress, and logs its calls.
#include <string>

#include "platform/files.h"

namespace {

std::string calls;
std::string source, target;
int steps = 4;
int progress = -1;

}  // namespace

extern "C" {

void FakeEncoderSetSteps(int count) {
  steps = count;
  calls.clear();
  progress = -1;
}
const char* FakeEncoderCalls() { return calls.c_str(); }

int32_t mp3encLoadEncoder() { calls += "load "; return 0; }
int32_t mp3encSetQuality(int32_t quality) { calls += "quality" + std::to_string(quality) + " "; return 0; }
int32_t mp3encStartFile(const char* from, const char* to, int32_t rate) {
  calls += "start(" + std::string(from) + "," + std::string(to) + "," + std::to_string(rate) + ") ";
  source = from;
  target = to;
  progress = 0;
  platform::writeFile(target, "partial");
  return 0;
}
int32_t mp3encStartStream(const char* from, const char* to, int32_t rate) { return mp3encStartFile(from, to, rate); }
int32_t mp3encGetProgress() {
  if (progress < 0) return -1;
  if (progress >= 1000) return 1000;
  progress += 1000 / steps;
  if (progress >= 1000) {
    progress = 1000;
    platform::copyFile(source, target);
  }
  return progress;
}
int32_t mp3encStop() { calls += "stop "; progress = -1; return 0; }
int32_t mp3encStopStream() { return 0; }
int32_t mp3encUnloadEncoder() { return 0; }
}
