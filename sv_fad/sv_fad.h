#pragma once
// Exports of sv_fad.so: joins a chain of 44100 Hz 16-bit stereo WAV files with transitions, one output
// file per source, one transition per stepFade call.

#include <cstdint>

namespace fad {

// Transition kinds; every other value is a crossfade.
enum Kind : uint32_t { kPause = 0, kOverlap = 1, kFadeOut = 2, kCrossfade = 3, kFadeIn = 4 };

// Results of crossFader.
constexpr int32_t kReady = 0;
constexpr int32_t kEmptyChain = -40;       // nothing was added
constexpr int32_t kSourceNotOpened = -42;  // the first source cannot be opened (the chain stays)
constexpr int32_t kOutputNotCreated = -44;
constexpr int32_t kBadEntry = -46;  // an entry has no target, or its target names a source of the chain
constexpr int32_t kNotWave = -142;
constexpr int32_t kNoDataOrRiff = -144;
// Results of stepFade.
constexpr int32_t kStepped = 1;
constexpr int32_t kFinished = 1000;

}  // namespace fad

extern "C" {
// Appends an entry (own copies of both paths) and returns it; callers ignore the result.
void* addFile(const char* source, const char* target, int32_t fadeLength, int32_t fadeOverlap, uint32_t fadeKind);
int32_t crossFader();
int32_t stepFade();
void closeAll();
}
