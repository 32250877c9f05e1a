// The plain C exports of sv_MP3Find.so. No exception leaves them.
#include "sv_MP3Find/sv_MP3Find.h"

namespace mp3find {
int32_t loadTag(const char* path, char* tag);
int32_t saveTag(const char* path, const char* tag);
int32_t search(const char* path, const char* word);
}  // namespace mp3find

#define MP3FIND_EXPORT extern "C" __attribute__((visibility("default")))

MP3FIND_EXPORT int32_t MP3InfoLoad(const char* path, char* tag) {
  try {
    return mp3find::loadTag(path, tag);
  } catch (...) {
    return -1;
  }
}

MP3FIND_EXPORT int32_t MP3InfoSave(const char* path, const char* tag) {
  try {
    return mp3find::saveTag(path, tag);
  } catch (...) {
    return -1;
  }
}

MP3FIND_EXPORT int32_t MP3Suchen(const char* path, const char* word) {
  try {
    return mp3find::search(path, word);
  } catch (...) {
    return -1;
  }
}
