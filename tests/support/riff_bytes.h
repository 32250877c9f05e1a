#pragma once
// Builds RIFF files byte by byte, so tests can lay out exactly the chunks (and the faults) they need.

#include <cstdint>
#include <string>
#include <string_view>

namespace testsupport {

inline std::string le16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
inline std::string le32(uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  return out;
}

// A chunk with the size of its data, padded to even length.
inline std::string chunk(std::string_view id, std::string_view data) {
  std::string out = std::string(id) + le32(static_cast<uint32_t>(data.size())) + std::string(data);
  if (data.size() % 2 != 0) out += '\0';
  return out;
}
// A chunk whose size field claims what it likes.
inline std::string chunkClaiming(std::string_view id, uint32_t size, std::string_view data) {
  return std::string(id) + le32(size) + std::string(data);
}
inline std::string list(std::string_view type, std::string_view contents) {
  return chunk("LIST", std::string(type) + std::string(contents));
}
inline std::string riff(std::string_view form, std::string_view contents) {
  return chunk("RIFF", std::string(form) + std::string(contents));
}

// The 16 bytes of a format record.
inline std::string fmtRecord(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t bytesPerSecond,
                             uint16_t align = 4, uint16_t bits = 16) {
  return le16(tag) + le16(channels) + le32(rate) + le32(bytesPerSecond) + le16(align) + le16(bits);
}
inline std::string cdFmt() { return fmtRecord(1, 2, 44100, 176400); }

// A 44100 Hz 16-bit stereo WAV file with the given samples and extra chunks after the data.
inline std::string cdWav(std::string_view samples, std::string_view after = {}) {
  return riff("WAVE", chunk("fmt ", cdFmt()) + chunk("data", samples) + std::string(after));
}

}  // namespace testsupport
