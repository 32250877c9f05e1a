#pragma once
// The MP3 encoder library: encodes one WAV file into an MP3 file in a background thread. ANSI paths,
// 32-bit integers; no result is read except mp3encGetProgress.

#include <cstdint>

extern "C" {

int32_t mp3encLoadEncoder();
// 0: the encoder's fast setting; 1: its high-quality setting.
int32_t mp3encSetQuality(int32_t quality);
// Starts encoding source (a WAV file) into target at rate kbit/s (128 when the rate is 0 or unusable).
int32_t mp3encStartFile(const char* source, const char* target, int32_t rate);
// As mp3encStartFile, for a source that may still be growing while it is written.
int32_t mp3encStartStream(const char* source, const char* target, int32_t rate);
// Per mille of the running encode, 1000 when it is complete; negative when the encoder has nothing to do.
int32_t mp3encGetProgress();
int32_t mp3encStop();
int32_t mp3encStopStream();
int32_t mp3encUnloadEncoder();
}
