#pragma once
// Exports of sv_wavfind.so: the descriptive information of a WAV file, exchanged through WavInfoRecord.

#include <cstddef>

namespace wavfind {

// WavInfoRecord: eleven slots of 500 bytes of ANSI text, each text ended by the first NUL of its slot;
// the comment spans slots 6 and 7.
constexpr size_t kRecordSize = 5500;
constexpr size_t kSlotSize = 500;
enum Slot : int {
  kFormatName = 0,
  kChannels = 1,
  kSampleRate = 2,
  kSeconds = 3,
  kTitle = 4,
  kArtist = 5,
  kComment = 6,
  kCommentTail = 7,
  kGenre = 8,
  kSource = 9,
  kDate = 10,
};
constexpr size_t slotOffset(int slot) { return static_cast<size_t>(slot) * kSlotSize; }

}  // namespace wavfind

extern "C" {
// Fills the slots it finds of a record the caller has filled with NUL bytes; true for a RIFF "WAVE" file
// with a readable "fmt " chunk.
bool wavInfoLoad(const char* path, char* record);
// Rewrites the file with the texts of slots 4 to 10 in its INFO list, the audio untouched; true when the
// rewritten file has replaced the given one. On failure the given file is as it was.
bool wavInfoSave(const char* path, const char* record);
}
