#include "wav_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace fxrender {

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
void put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v));
  out.push_back(static_cast<char>(v >> 8));
}

}  // namespace

std::optional<StereoAudio> parseWav(const uint8_t* data, size_t size, std::string& error) {
  if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) {
    error = "not a RIFF WAVE file";
    return std::nullopt;
  }
  int format = 0, channels = 0, bits = 0;
  uint32_t rate = 0;
  const uint8_t* samples = nullptr;
  size_t sampleBytes = 0;
  size_t pos = 12;
  while (pos + 8 <= size) {
    const uint8_t* chunk = data + pos;
    const size_t length = le32(chunk + 4);
    const size_t available = std::min(length, size - pos - 8);
    if (std::memcmp(chunk, "fmt ", 4) == 0 && available >= 16) {
      format = le16(chunk + 8);
      channels = le16(chunk + 10);
      rate = le32(chunk + 12);
      bits = le16(chunk + 22);
      if (format == 0xfffe && available >= 26) format = le16(chunk + 32);  // extensible: the sub-format
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      samples = chunk + 8;
      sampleBytes = available;  // a truncated file keeps what it has
    }
    pos += 8 + available + (available & 1);
    if (available < length) break;
  }
  const bool pcm16 = format == 1 && bits == 16;
  const bool float32 = format == 3 && bits == 32;
  if (!pcm16 && !float32) {
    error = "only 16-bit PCM and 32-bit float WAV files are read";
    return std::nullopt;
  }
  if (channels != 1 && channels != 2) {
    error = "only mono and stereo WAV files are read";
    return std::nullopt;
  }
  if (samples == nullptr) {
    error = "no data chunk";
    return std::nullopt;
  }
  StereoAudio audio;
  audio.sampleRate = static_cast<int>(rate);
  audio.floatSamples = float32;
  const size_t bytesPerSample = bits / 8;
  const size_t frames = sampleBytes / (bytesPerSample * channels);
  audio.left.resize(frames);
  audio.right.resize(frames);
  for (size_t f = 0; f < frames; ++f) {
    const uint8_t* p = samples + f * channels * bytesPerSample;
    const uint8_t* q = p + (channels - 1) * bytesPerSample;
    if (float32) {
      uint32_t l = le32(p), r = le32(q);
      std::memcpy(&audio.left[f], &l, 4);
      std::memcpy(&audio.right[f], &r, 4);
    } else {
      audio.left[f] = static_cast<int16_t>(le16(p)) / 32768.0f;
      audio.right[f] = static_cast<int16_t>(le16(q)) / 32768.0f;
    }
  }
  return audio;
}

std::optional<StereoAudio> readWav(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return std::nullopt;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0);
  std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(size) : 0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return parseWav(bytes.data(), bytes.size(), error);
}

bool writeWav(const std::string& path, const StereoAudio& audio, bool asFloat) {
  const size_t frames = std::min(audio.left.size(), audio.right.size());
  const uint16_t bytesPerSample = asFloat ? 4 : 2;
  const uint64_t dataBytes = static_cast<uint64_t>(frames) * 2 * bytesPerSample;
  if (dataBytes > 0xffffffffu - 36) return false;
  std::string out;
  out += "RIFF";
  put32(out, static_cast<uint32_t>(36 + dataBytes));
  out += "WAVEfmt ";
  put32(out, 16);
  put16(out, asFloat ? 3 : 1);
  put16(out, 2);
  put32(out, static_cast<uint32_t>(audio.sampleRate));
  put32(out, static_cast<uint32_t>(audio.sampleRate) * 2 * bytesPerSample);
  put16(out, static_cast<uint16_t>(2 * bytesPerSample));
  put16(out, static_cast<uint16_t>(8 * bytesPerSample));
  out += "data";
  put32(out, static_cast<uint32_t>(dataBytes));
  const size_t header = out.size();
  out.resize(header + dataBytes);
  uint8_t* p = reinterpret_cast<uint8_t*>(out.data()) + header;
  auto pcm = [](float v) {
    const float scaled = v == v ? std::nearbyint(std::clamp(v, -1.0f, 1.0f) * 32767.0f) : 0.0f;
    return static_cast<uint16_t>(static_cast<int16_t>(scaled));
  };
  for (size_t f = 0; f < frames; ++f) {
    if (asFloat) {
      std::memcpy(p, &audio.left[f], 4);
      std::memcpy(p + 4, &audio.right[f], 4);
      p += 8;
    } else {
      const uint16_t l = pcm(audio.left[f]), r = pcm(audio.right[f]);
      p[0] = static_cast<uint8_t>(l);
      p[1] = static_cast<uint8_t>(l >> 8);
      p[2] = static_cast<uint8_t>(r);
      p[3] = static_cast<uint8_t>(r >> 8);
      p += 4;
    }
  }
  std::ofstream file(path, std::ios::binary);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  return static_cast<bool>(file);
}

}  // namespace fxrender
