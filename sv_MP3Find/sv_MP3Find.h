#pragma once
// Exports of sv_MP3Find.so: the ID3v1 tag at the end of a file, and a word search in a file's first and
// last bytes.

#include <cstdint>

extern "C" {
// 0 the tag was copied; -3 no tag; -2 a null pointer or a file under 128 bytes; -1 cannot be opened.
int32_t MP3InfoLoad(const char* path, char* tag);
// 0 written (an old tag replaced, else appended); -2 a null pointer; -1 cannot be opened for reading and
// writing, or the tag could not be written.
int32_t MP3InfoSave(const char* path, const char* tag);
// 1000 the word occurs, case ignored, in the first or last 6096 bytes; 0 it does not; -2 a null pointer;
// -1 cannot be opened.
int32_t MP3Suchen(const char* path, const char* word);
}
