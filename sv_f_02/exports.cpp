// The seven functions the host calls. No exception leaves them.

#include "chain.h"

#define FX_EXPORT extern "C" __attribute__((visibility("default")))

FX_EXPORT int Init(int samplesPerChannel) {
  try {
    return fx::initChain(samplesPerChannel);
  } catch (...) {
    fx::closeChain();
    return -1;
  }
}

FX_EXPORT int SSetParameter(int id, double* value) {
  if (value == nullptr) return -1;
  try {
    return fx::setParameter(id, *value);
  } catch (...) {
    return -1;
  }
}

FX_EXPORT int Konvert(float* left, float* right, int byteCount) {
  try {
    return fx::convert(left, right, byteCount);
  } catch (...) {
    return byteCount;
  }
}

FX_EXPORT int RReset() { return fx::resetChain(); }

FX_EXPORT int Close() { return fx::closeChain(); }

FX_EXPORT int GetInputFormat() { return 196; }

FX_EXPORT int GetOutputFormat() { return 68; }
