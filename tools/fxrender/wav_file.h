#pragma once
// Just enough of the WAV format for rendering: 16-bit PCM or 32-bit float in, mono or stereo; stereo
// 16-bit or float out. Files are read and written a block at a time, so an album costs no more memory
// than a song.

#include <cstdint>
#include <fstream>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace fxrender {

struct WavLayout {
  int sampleRate = 44100;
  int channels = 2;
  bool floatSamples = false;
  uint64_t dataOffset = 0;  // where the samples start
  uint64_t frames = 0;      // whole frames present (a truncated file keeps what it has)
  int bytesPerFrame() const { return channels * (floatSamples ? 4 : 2); }
};

// The layout of a WAV stream, or nothing with a reason in `error`.
std::optional<WavLayout> readWavLayout(std::istream& in, std::string& error);
// Frames of raw sample bytes as floats; mono goes to both channels.
void decodeFrames(const uint8_t* bytes, size_t frames, const WavLayout& layout, float* left, float* right);

// Writes a stereo WAV whose frame count is known when it is opened.
class WavWriter {
 public:
  WavWriter(const std::string& path, int sampleRate, bool asFloat, uint64_t frames);
  bool ok() const { return ok_; }
  // 16-bit samples are rounded and clamped to full scale; a NaN becomes 0.
  void write(const float* left, const float* right, size_t frames);
  bool finish();

 private:
  std::ofstream file_;
  bool asFloat_;
  bool ok_ = true;
  std::vector<uint8_t> bytes_;
};

struct StereoAudio {
  int sampleRate = 44100;
  bool floatSamples = false;  // the input's sample format
  std::vector<float> left;
  std::vector<float> right;
};

// Whole files, for tests and tools that want them in memory.
std::optional<StereoAudio> parseWav(const uint8_t* data, size_t size, std::string& error);
std::optional<StereoAudio> readWav(const std::string& path, std::string& error);
bool writeWav(const std::string& path, const StereoAudio& audio, bool asFloat);

}  // namespace fxrender
