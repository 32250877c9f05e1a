#pragma once
// Builds MP3 files byte by byte: MPEG-1 Layer III frame headers, a Xing VBR frame, ID3v2 tags at the
// start (with a cover picture that holds false frame starts) and ID3v1 / ID3v1.1 tags at the end.

#include <cstdint>
#include <string>
#include <string_view>

namespace testsupport {

struct FrameHeader {
  int bitrateIndex = 9;  // 128 kbit/s
  int rateIndex = 0;     // 44100 Hz
  bool crc = false;
  bool padding = false;
  bool privateBit = false;
  int mode = 1;  // joint stereo
  bool copyright = false;
  bool original = true;
  int emphasis = 0;
};

inline std::string frameHeader(const FrameHeader& h = {}) {
  std::string out(4, '\0');
  out[0] = static_cast<char>(0xFF);
  out[1] = static_cast<char>(h.crc ? 0xFA : 0xFB);  // the protection bit is clear when a CRC follows
  out[2] = static_cast<char>((h.bitrateIndex << 4) | (h.rateIndex << 2) | (h.padding << 1) | h.privateBit);
  out[3] = static_cast<char>((h.mode << 6) | (h.copyright << 3) | (h.original << 2) | h.emphasis);
  return out;
}

// A first frame carrying a Xing header with a frame count, as VBR encoders write it.
inline std::string xingFrame(uint32_t frames, FrameHeader h = {}) {
  h.bitrateIndex = 9;
  std::string out = frameHeader(h) + std::string(32, '\0') + "Xing" + std::string("\0\0\0\x0F", 4);
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((frames >> shift) & 0xFF);
  out.resize(417, '\0');
  return out;
}

// An ID3v2 tag whose body has the given size, filled with picture bytes full of 0xFF 0xFB pairs.
inline std::string id3v2(uint32_t bodySize, int version = 3, bool footer = false) {
  std::string out = "ID3";
  out += static_cast<char>(version);
  out += '\0';
  out += static_cast<char>(footer ? 0x10 : 0);
  for (int shift = 21; shift >= 0; shift -= 7) out += static_cast<char>((bodySize >> shift) & 0x7F);
  std::string body = "APIC";
  const std::string picture("\xFF\xFB\x50\xC0picture", 11);  // 64 kbit/s, one channel
  while (body.size() < bodySize) body += picture;
  body.resize(bodySize);
  out += body;
  if (footer) out += "3DI" + out.substr(3, 7);
  return out;
}

inline std::string padded(std::string_view text, size_t length, char fill = ' ') {
  std::string out(text.substr(0, length));
  out.resize(length, fill);
  return out;
}

// ID3v1 with a 30-byte comment; with a track, ID3v1.1: the comment in 28 bytes, a zero, the track.
inline std::string id3v1(std::string_view title, std::string_view artist, std::string_view album,
                         std::string_view year, std::string_view comment, uint8_t genre, int track = -1) {
  std::string out = "TAG" + padded(title, 30) + padded(artist, 30) + padded(album, 30) + padded(year, 4);
  if (track >= 0) {
    out += padded(comment, 28, '\0') + '\0' + static_cast<char>(track);
  } else {
    out += padded(comment, 30);
  }
  return out + static_cast<char>(genre);
}

// Audio bytes after a first frame: more frame headers and zeros, up to the given size.
inline std::string audio(std::string first, size_t size) {
  std::string frame = frameHeader();
  while (first.size() + 418 <= size) first += frame + std::string(414, '\0');
  first.resize(size, '\0');
  return first;
}

}  // namespace testsupport
