#pragma once
// The technical values of an MP3 file that starts with an ID3v2 tag: its first MPEG-1 Layer III frame
// header, the Xing frame count of a VBR file, and the ID3v1 tag near its end; ID3v1 tag writing and the
// genre table.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace taginfo {

// What one analysis found. Every analysis starts from an empty record, so nothing of an earlier file
// is ever reported for a later one.
struct Analysis {
  bool frameFound = false;
  int bitrate = 0;     // kbit/s
  int sampleRate = 0;  // Hz
  std::string mode, emphasis;
  int version = 0;
  int layer = 0;
  std::string padding, crc, copyright, original, privateBit;  // "yes" / "no"
  int64_t duration = 0;  // seconds
  bool vbr = false;
  uint32_t frameCount = 0;  // the whole 32-bit count of the VBR header
  bool hasTag = false;
  std::string title, artist, album, year, comment, track;
  int genre = 0;
};

// The frame header as a text of binary digits, leading zeros left out ("" for four zero bytes).
std::string byteToBit(std::string_view bytes);
// A text of binary digits as a number; other characters count as zeros.
int64_t binToDec(std::string_view bits);

// Reads what the flags ask for into the analysis and returns the header's binary digits; "" for a
// file under 256 bytes. The frame search starts behind an ID3v2 tag at the start of the file.
std::string binaryHeader(const std::string& path, bool readTag, bool readHeader, Analysis& analysis);
// The values of the header bits, bitrate (from the VBR frame count when there is one) and duration.
void decodeHeader(std::string_view headerBits, uint64_t audioBytes, Analysis& analysis);
// Both steps together, as the control runs them for a file.
Analysis analyseFile(const std::string& path);

// Writes a 128-byte ID3v1 tag over the file's tag or appends it. With a track (a non-zero byte) and a
// comment of at most 28 characters the ID3v1.1 form is written, which keeps the track.
void writeTag(const std::string& path, std::string_view title, std::string_view artist, std::string_view album,
              std::string_view year, std::string_view comment, int genre, uint8_t track = 0);

constexpr int kGenreCount = 148;
std::string_view genreString(long long number);  // "" outside the table
int genreNumber(std::string_view name);          // 12 ("Other") when no entry has the name

// "3:07" below an hour, "1:02:03" from an hour on.
std::string durationText(int64_t seconds);
// Back from such a text: the last part seconds, the one before minutes, the rest hours.
int64_t durationSeconds(std::string_view text);

}  // namespace taginfo
