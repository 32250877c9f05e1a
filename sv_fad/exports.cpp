// The plain C exports of sv_fad.so. No exception leaves them.
#include "sv_fad/sv_fad.h"

namespace fad {
void* add(const char* source, const char* target, int32_t length, int32_t overlap, uint32_t kind);
int32_t start();
int32_t step();
void closeAll();
}  // namespace fad

#define FAD_EXPORT extern "C" __attribute__((visibility("default")))

FAD_EXPORT void* addFile(const char* source, const char* target, int32_t fadeLength, int32_t fadeOverlap,
                         uint32_t fadeKind) {
  try {
    return fad::add(source, target, fadeLength, fadeOverlap, fadeKind);
  } catch (...) {
    return nullptr;
  }
}

FAD_EXPORT int32_t crossFader() {
  try {
    return fad::start();
  } catch (...) {
    fad::closeAll();
    return fad::kNoDataOrRiff;
  }
}

FAD_EXPORT int32_t stepFade() {
  try {
    return fad::step();
  } catch (...) {
    fad::closeAll();
    return fad::kFinished;
  }
}

FAD_EXPORT void closeAll() { fad::closeAll(); }
