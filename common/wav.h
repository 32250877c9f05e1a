#pragma once
// PCM WAV files: the canonical 44-byte header, a writer whose header always matches the data written so
// far, and a reader of the layout of an existing file's header (for sources that may still be growing).

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace common {

inline constexpr int kCdRate = 44100;
inline constexpr int kCdChannels = 2;
inline constexpr size_t kWavHeaderBytes = 44;
inline constexpr size_t kCdFrameBytes = 4;  // one 16-bit stereo sample pair

std::array<uint8_t, kWavHeaderBytes> pcmWavHeader(uint32_t dataBytes, int rate = kCdRate,
                                                  int channels = kCdChannels, int bits = 16);

// Writes a 16-bit PCM WAV file. Samples are collected and written in large blocks. By default, after
// every flush() the header's sizes describe exactly the data on disk, so a reader looking at any moment
// sees a valid file. A writer whose file others follow while it grows (a stream encoder) can instead
// leave the data size 0 until close(), which marks the file as finished. A write error is remembered
// and makes every later call do nothing.
class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Creates (or truncates) the file and writes an empty header.
  enum class Sizes { AfterEveryFlush, AtClose };
  bool open(const std::filesystem::path& file, int rate = kCdRate, int channels = kCdChannels,
            Sizes sizes = Sizes::AfterEveryFlush);
  void append(std::span<const int16_t> interleaved);
  void appendBytes(std::span<const uint8_t> littleEndianPcm);
  // Writes what is collected (and updates the header's sizes, unless they wait for close()).
  bool flush();
  // Flushes and closes; true when every write succeeded.
  bool close();

  bool isOpen() const { return fd_ >= 0; }
  bool failed() const { return failed_; }
  uint64_t dataBytes() const { return written_ + pending_.size(); }

 private:
  bool writePending(bool updateSizes);

  int fd_ = -1;
  bool failed_ = false;
  int rate_ = kCdRate;
  int channels_ = kCdChannels;
  Sizes sizes_ = Sizes::AfterEveryFlush;
  uint64_t written_ = 0;
  std::vector<uint8_t> pending_;
};

// Where the samples of a PCM WAV file are, read from the first bytes of the file.
struct WavLayout {
  int format = 0;  // 1 PCM, 3 float, 0xFFFE extensible
  int channels = 0;
  int rate = 0;
  int bits = 0;
  uint64_t dataOffset = 0;
  uint32_t dataBytes = 0;  // as the header says; 0 or 0xFFFFFFFF while a writer has not finished
};

// Parses a RIFF/WAVE header from the file's first bytes (at least up to the start of the data chunk).
// Empty when the bytes are not a WAV file or do not yet reach the data chunk.
std::optional<WavLayout> parseWavLayout(std::span<const uint8_t> head);

}  // namespace common
