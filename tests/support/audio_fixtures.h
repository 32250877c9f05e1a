#pragma once
// Audio fixtures made by the tests themselves: tones written through libsndfile (any container and
// sample format it writes) or LAME (MP3), and a strict reader of the 16-bit PCM WAV files we produce.
// Tests that include this link PkgConfig::TEST_AUDIO (see tests/qmx_kom/CMakeLists.txt).

#include <lame/lame.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Channel c carries a tone of baseHz * (c + 1), so a swapped or lost channel shows.
inline std::vector<float> tones(int rate, int channels, size_t frames, double baseHz = 441.0, double amplitude = 0.5) {
  std::vector<float> out(frames * static_cast<size_t>(channels));
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      out[i * channels + c] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * baseHz * (c + 1) * double(i) / rate));
  return out;
}

inline bool writeSndfile(const std::filesystem::path& file, int format, int rate, int channels,
                         const std::vector<float>& samples) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
  if (out == nullptr) return false;
  sf_count_t frames = static_cast<sf_count_t>(samples.size() / channels);
  bool ok = sf_writef_float(out, samples.data(), frames) == frames;
  return sf_close(out) == 0 && ok;
}

// Encodes with LAME at a constant bit rate (or variable, at quality level vbrQuality 0-9 when given), with
// its header frame so decoders can trim the padding.
inline bool writeMp3(const std::filesystem::path& file, int rate, int channels, const std::vector<float>& samples,
                     int kbps = 128, int vbrQuality = -1) {
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, rate);
  lame_set_out_samplerate(lame, rate);
  lame_set_num_channels(lame, channels);
  lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
  lame_set_brate(lame, kbps);
  if (vbrQuality >= 0) {
    lame_set_VBR(lame, vbr_default);
    lame_set_VBR_quality(lame, static_cast<float>(vbrQuality));
  }
  lame_set_write_id3tag_automatic(lame, 0);
  if (lame_init_params(lame) < 0) {
    lame_close(lame);
    return false;
  }
  std::vector<float> left, right;
  const size_t frames = samples.size() / channels;
  for (size_t i = 0; i < frames; ++i) {
    left.push_back(samples[i * channels] * 32767.0f);
    right.push_back(samples[i * channels + (channels > 1 ? 1 : 0)] * 32767.0f);
  }
  std::vector<unsigned char> mp3(frames * 5 / 4 + 7200 + 16384);
  int made = lame_encode_buffer_float(lame, left.data(), right.data(), static_cast<int>(frames), mp3.data(),
                                      static_cast<int>(mp3.size()));
  int tail = lame_encode_flush(lame, mp3.data() + std::max(made, 0), static_cast<int>(mp3.size()) - std::max(made, 0));
  mp3.resize(static_cast<size_t>(std::max(made, 0) + std::max(tail, 0)));
  std::vector<unsigned char> tag(2880);
  size_t tagBytes = lame_get_lametag_frame(lame, tag.data(), tag.size());
  if (tagBytes > 0 && tagBytes <= mp3.size()) std::memcpy(mp3.data(), tag.data(), tagBytes);
  lame_close(lame);
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(mp3.data()), std::streamsize(mp3.size()));
  return made >= 0 && tail >= 0;
}

inline std::string readBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct PcmWav {
  int rate = 0;
  int channels = 0;
  int bits = 0;
  std::vector<int16_t> samples;
  size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
};

// A canonical 44-byte-header PCM WAV whose RIFF and data sizes match the file's length exactly;
// empty otherwise.
inline std::optional<PcmWav> readCanonicalWav(const std::filesystem::path& file) {
  const std::string bytes = readBytes(file);
  if (bytes.size() < 44) return std::nullopt;
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  };
  auto u16 = [&](size_t at) {
    uint16_t v;
    std::memcpy(&v, bytes.data() + at, 2);
    return v;
  };
  if (bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 8, "WAVEfmt ") != 0 || bytes.compare(36, 4, "data") != 0)
    return std::nullopt;
  if (u32(4) != bytes.size() - 8 || u32(40) != bytes.size() - 44 || u16(20) != 1) return std::nullopt;
  PcmWav wav;
  wav.channels = u16(22);
  wav.rate = static_cast<int>(u32(24));
  wav.bits = u16(34);
  if (wav.bits != 16 || u16(32) != wav.channels * 2 || u32(28) != u32(24) * u16(32)) return std::nullopt;
  wav.samples.resize((bytes.size() - 44) / 2);
  std::memcpy(wav.samples.data(), bytes.data() + 44, wav.samples.size() * 2);
  return wav;
}

// Only the header: a canonical 16-bit PCM WAV header whose sizes match the file's length.
inline bool wavHeaderMatchesLength(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  char h[44];
  if (!in.read(h, 44)) return false;
  std::error_code ec;
  const auto length = std::filesystem::file_size(file, ec);
  uint32_t riff, data;
  std::memcpy(&riff, h + 4, 4);
  std::memcpy(&data, h + 40, 4);
  return !ec && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 36, "data", 4) == 0 && riff == length - 8 &&
         data == length - 44;
}

// Amplitude (full scale 1.0) of the tone at hz in one channel, over the frames from `from` to `to`.
inline double toneLevel(const PcmWav& wav, int channel, double hz, size_t from = 0, size_t to = SIZE_MAX) {
  double re = 0, im = 0;
  const size_t frames = std::min(to, wav.frames());
  if (from >= frames) return 0;
  for (size_t i = from; i < frames; ++i) {
    const double x = wav.samples[i * wav.channels + channel] / 32768.0;
    const double phase = 2 * std::numbers::pi * hz * double(i) / wav.rate;
    re += x * std::cos(phase);
    im += x * std::sin(phase);
  }
  return 2 * std::hypot(re, im) / double(frames - from);
}

}  // namespace testsupport
