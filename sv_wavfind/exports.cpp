// The plain C exports of sv_wavfind.so. No exception leaves them.
#include "sv_wavfind/sv_wavfind.h"

namespace wavfind {
bool loadInfo(const char* path, char* record);
bool saveInfo(const char* path, const char* record);
}  // namespace wavfind

#define WAVFIND_EXPORT extern "C" __attribute__((visibility("default")))

WAVFIND_EXPORT bool wavInfoLoad(const char* path, char* record) {
  try {
    return wavfind::loadInfo(path, record);
  } catch (...) {
    return false;
  }
}

WAVFIND_EXPORT bool wavInfoSave(const char* path, const char* record) {
  try {
    return wavfind::saveInfo(path, record);
  } catch (...) {
    return false;
  }
}
