#include "wav_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace fxrender {

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

bool readBytes(std::istream& in, uint64_t at, uint8_t* into, size_t count) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(at));
  in.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(count));
  return in.gcount() == static_cast<std::streamsize>(count);
}

}  // namespace

std::optional<WavLayout> readWavLayout(std::istream& in, std::string& error) {
  in.clear();
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  const uint64_t size = end > 0 ? static_cast<uint64_t>(end) : 0;
  uint8_t head[12];
  if (size < 12 || !readBytes(in, 0, head, 12) || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "WAVE", 4) != 0) {
    error = "not a RIFF WAVE file";
    return std::nullopt;
  }
  int format = 0, channels = 0, bits = 0;
  uint32_t rate = 0;
  bool haveData = false;
  uint64_t dataOffset = 0, dataBytes = 0;
  uint64_t pos = 12;
  while (pos + 8 <= size) {
    uint8_t chunk[8];
    if (!readBytes(in, pos, chunk, 8)) break;
    const uint64_t length = le32(chunk + 4);
    const uint64_t available = std::min(length, size - pos - 8);
    if (std::memcmp(chunk, "fmt ", 4) == 0 && available >= 16) {
      uint8_t fmt[26] = {};
      if (!readBytes(in, pos + 8, fmt, std::min<uint64_t>(available, 26))) break;
      format = le16(fmt);
      channels = le16(fmt + 2);
      rate = le32(fmt + 4);
      bits = le16(fmt + 14);
      if (format == 0xfffe && available >= 26) format = le16(fmt + 24);  // extensible: the sub-format
    } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
      haveData = true;
      dataOffset = pos + 8;
      dataBytes = available;
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
  if (!haveData) {
    error = "no data chunk";
    return std::nullopt;
  }
  WavLayout layout;
  layout.sampleRate = static_cast<int>(rate);
  layout.channels = channels;
  layout.floatSamples = float32;
  layout.dataOffset = dataOffset;
  layout.frames = dataBytes / static_cast<uint64_t>(layout.bytesPerFrame());
  in.clear();
  return layout;
}

void decodeFrames(const uint8_t* bytes, size_t frames, const WavLayout& layout, float* left, float* right) {
  const int sampleBytes = layout.floatSamples ? 4 : 2;
  const int frameBytes = layout.bytesPerFrame();
  const int second = (layout.channels - 1) * sampleBytes;
  for (size_t f = 0; f < frames; ++f) {
    const uint8_t* p = bytes + f * frameBytes;
    if (layout.floatSamples) {
      const uint32_t l = le32(p), r = le32(p + second);
      std::memcpy(&left[f], &l, 4);
      std::memcpy(&right[f], &r, 4);
    } else {
      left[f] = static_cast<int16_t>(le16(p)) / 32768.0f;
      right[f] = static_cast<int16_t>(le16(p + second)) / 32768.0f;
    }
  }
}

WavWriter::WavWriter(const std::string& path, int sampleRate, bool asFloat, uint64_t frames)
    : file_(path, std::ios::binary), asFloat_(asFloat) {
  const uint32_t sampleBytes = asFloat ? 4 : 2;
  const uint64_t dataBytes = frames * 2 * sampleBytes;
  if (!file_ || dataBytes > 0xffffffffu - 36) {
    ok_ = false;
    return;
  }
  uint8_t header[44];
  std::memcpy(header, "RIFF", 4);
  put32(header + 4, static_cast<uint32_t>(36 + dataBytes));
  std::memcpy(header + 8, "WAVEfmt ", 8);
  put32(header + 16, 16);
  put16(header + 20, asFloat ? 3 : 1);
  put16(header + 22, 2);
  put32(header + 24, static_cast<uint32_t>(sampleRate));
  put32(header + 28, static_cast<uint32_t>(sampleRate) * 2 * sampleBytes);
  put16(header + 32, static_cast<uint16_t>(2 * sampleBytes));
  put16(header + 34, static_cast<uint16_t>(8 * sampleBytes));
  std::memcpy(header + 36, "data", 4);
  put32(header + 40, static_cast<uint32_t>(dataBytes));
  file_.write(reinterpret_cast<const char*>(header), sizeof header);
  ok_ = static_cast<bool>(file_);
}

void WavWriter::write(const float* left, const float* right, size_t frames) {
  if (!ok_) return;
  const size_t frameBytes = asFloat_ ? 8 : 4;
  bytes_.resize(frames * frameBytes);
  uint8_t* p = bytes_.data();
  for (size_t f = 0; f < frames; ++f) {
    if (asFloat_) {
      uint32_t l, r;
      std::memcpy(&l, &left[f], 4);
      std::memcpy(&r, &right[f], 4);
      put32(p, l);
      put32(p + 4, r);
    } else {
      for (int ch = 0; ch < 2; ++ch) {
        const float v = ch == 0 ? left[f] : right[f];
        const float scaled = v == v ? std::nearbyint(std::clamp(v, -1.0f, 1.0f) * 32767.0f) : 0.0f;
        put16(p + 2 * ch, static_cast<uint16_t>(static_cast<int16_t>(scaled)));
      }
    }
    p += frameBytes;
  }
  file_.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  ok_ = static_cast<bool>(file_);
}

bool WavWriter::finish() {
  if (ok_) file_.flush();
  ok_ = ok_ && static_cast<bool>(file_);
  file_.close();
  return ok_;
}

namespace {

std::optional<StereoAudio> readAll(std::istream& in, std::string& error) {
  std::optional<WavLayout> layout = readWavLayout(in, error);
  if (!layout) return std::nullopt;
  std::vector<uint8_t> bytes(layout->frames * layout->bytesPerFrame());
  if (!readBytes(in, layout->dataOffset, bytes.data(), bytes.size())) {
    error = "cannot read the samples";
    return std::nullopt;
  }
  StereoAudio audio;
  audio.sampleRate = layout->sampleRate;
  audio.floatSamples = layout->floatSamples;
  audio.left.resize(layout->frames);
  audio.right.resize(layout->frames);
  decodeFrames(bytes.data(), layout->frames, *layout, audio.left.data(), audio.right.data());
  return audio;
}

}  // namespace

std::optional<StereoAudio> parseWav(const uint8_t* data, size_t size, std::string& error) {
  std::istringstream in(data != nullptr ? std::string(reinterpret_cast<const char*>(data), size) : std::string());
  return readAll(in, error);
}

std::optional<StereoAudio> readWav(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return std::nullopt;
  }
  return readAll(in, error);
}

bool writeWav(const std::string& path, const StereoAudio& audio, bool asFloat) {
  const size_t frames = std::min(audio.left.size(), audio.right.size());
  WavWriter writer(path, audio.sampleRate, asFloat, frames);
  writer.write(audio.left.data(), audio.right.data(), frames);
  return writer.finish();
}

}  // namespace fxrender
