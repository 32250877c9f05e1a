#pragma once
// The job message channel and audio conversion library that the job worker and the host share.
//
// Two text slots are seen by every process of one prefix: slot 0 carries command messages from the host
// to the worker (up to 31000 characters), slot 1 status messages back (up to 6000). Texts are 8-bit ANSI,
// NUL-terminated; numbers are 32-bit signed integers. Every function may be called in any order; a call
// that cannot do its work does nothing.

#include <cstdint>

extern "C" {

// Opens the channel (the slots of this process's prefix). Later calls do nothing; result not read.
int32_t KomInit();
// Closes it. A later call of a slot function opens it again.
int32_t KomClose();
// Replaces the slot's content with the text, at most the slot's size; a write is seen whole or not at all.
int32_t KomSetString(const char* text, int32_t slot);
// Replaces the slot's content with exactly length bytes (which may hold NUL characters).
int32_t KomSetBytes(const char* bytes, int32_t length, int32_t slot);
// Copies the slot's content into the caller's buffer (31000 characters for slot 0, 6000 for slot 1)
// and ends it with a NUL; a slot that never received text leaves the buffer as it was. Returns the
// number of bytes copied, or -1 when the slot never received text.
int32_t KomGetString(char* buffer, int32_t slot);

// Makes the component file present at the system path, copying it from the source path when missing.
int32_t InstallRegFast(const char* sourcePath, const char* systemPath);
// The thorough variant: copies the file over whatever is at the system path.
int32_t InstallReg(const char* sourcePath, const char* systemPath);

// Opens a conversion of the source audio file into a 44100 Hz 16-bit stereo WAV target. 0: nothing to
// convert (the error code says why); 2000: fatal; anything else: the conversion is open.
int32_t SoundPlay(const char* source, int32_t mode, const char* target);
// 0: one step of the open conversion, returning its progress in per mille (1000 = complete);
// 1000: ends the conversion and closes the target.
int32_t SoundSchritt(int32_t command);
int32_t SoundGetError();
int32_t SoundSetError(int32_t code);
int32_t SoundSetPosition(int32_t position);
// Stops CD audio playback.
int32_t cdstop();
}

// The sizes of the slots, which are also the sizes of the callers' buffers.
inline constexpr int32_t kKomSlotSizes[2] = {31000, 6000};
