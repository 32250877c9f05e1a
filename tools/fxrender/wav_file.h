#pragma once
// Just enough of the WAV format for rendering: 16-bit PCM or 32-bit float in, mono or stereo; stereo
// 16-bit or float out.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fxrender {

struct StereoAudio {
  int sampleRate = 44100;
  bool floatSamples = false;  // the input's sample format
  std::vector<float> left;
  std::vector<float> right;
};

// The audio of a WAV file's bytes, or nothing with a reason in `error`.
std::optional<StereoAudio> parseWav(const uint8_t* data, size_t size, std::string& error);
std::optional<StereoAudio> readWav(const std::string& path, std::string& error);

// Writes the frames [0, frames) of `audio` as 16-bit PCM (rounded, clamped) or 32-bit float.
bool writeWav(const std::string& path, const StereoAudio& audio, bool asFloat);

}  // namespace fxrender
