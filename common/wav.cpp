#include "common/wav.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace common {
namespace {

constexpr size_t kFlushBytes = 1 << 20;

void put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
void put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}
uint32_t get32(const uint8_t* at) {
  return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}
uint16_t get16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

bool writeAll(int fd, const uint8_t* data, size_t size, off_t at) {
  while (size > 0) {
    ssize_t done = ::pwrite(fd, data, size, at);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    size -= static_cast<size_t>(done);
    at += done;
  }
  return true;
}

}  // namespace

std::array<uint8_t, kWavHeaderBytes> pcmWavHeader(uint32_t dataBytes, int rate, int channels, int bits) {
  std::array<uint8_t, kWavHeaderBytes> h{};
  const uint16_t blockAlign = static_cast<uint16_t>(channels * bits / 8);
  std::memcpy(&h[0], "RIFF", 4);
  put32(&h[4], dataBytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu : dataBytes + 36);
  std::memcpy(&h[8], "WAVEfmt ", 8);
  put32(&h[16], 16);
  put16(&h[20], 1);
  put16(&h[22], static_cast<uint16_t>(channels));
  put32(&h[24], static_cast<uint32_t>(rate));
  put32(&h[28], static_cast<uint32_t>(rate) * blockAlign);
  put16(&h[32], blockAlign);
  put16(&h[34], static_cast<uint16_t>(bits));
  std::memcpy(&h[36], "data", 4);
  put32(&h[40], dataBytes);
  return h;
}

WavWriter::~WavWriter() { close(); }

bool WavWriter::open(const std::filesystem::path& file, int rate, int channels, Sizes sizes) {
  close();
  failed_ = false;
  written_ = 0;
  pending_.clear();
  rate_ = rate;
  channels_ = channels;
  sizes_ = sizes;
  fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    failed_ = true;
    return false;
  }
  pending_.reserve(kFlushBytes + 65536);
  auto header = pcmWavHeader(0, rate_, channels_);
  if (!writeAll(fd_, header.data(), header.size(), 0)) failed_ = true;
  return !failed_;
}

void WavWriter::append(std::span<const int16_t> interleaved) {
  if (fd_ < 0 || failed_) return;
  const size_t start = pending_.size();
  pending_.resize(start + interleaved.size() * 2);
  uint8_t* out = pending_.data() + start;
  for (int16_t sample : interleaved) {
    put16(out, static_cast<uint16_t>(sample));
    out += 2;
  }
  if (pending_.size() >= kFlushBytes) flush();
}

void WavWriter::appendBytes(std::span<const uint8_t> pcm) {
  if (fd_ < 0 || failed_) return;
  pending_.insert(pending_.end(), pcm.begin(), pcm.end());
  if (pending_.size() >= kFlushBytes) flush();
}

bool WavWriter::flush() { return writePending(sizes_ == Sizes::AfterEveryFlush); }

bool WavWriter::writePending(bool updateSizes) {
  if (fd_ < 0 || failed_) return false;
  if (!pending_.empty()) {
    if (!writeAll(fd_, pending_.data(), pending_.size(), static_cast<off_t>(kWavHeaderBytes + written_))) {
      failed_ = true;
      return false;
    }
    written_ += pending_.size();
    pending_.clear();
  }
  if (!updateSizes) return true;
  const uint32_t size = written_ > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(written_);
  auto header = pcmWavHeader(size, rate_, channels_);
  if (!writeAll(fd_, header.data() + 4, 4, 4) || !writeAll(fd_, header.data() + 40, 4, 40)) failed_ = true;
  return !failed_;
}

bool WavWriter::close() {
  if (fd_ < 0) return !failed_;
  writePending(true);
  if (::close(fd_) != 0) failed_ = true;
  fd_ = -1;
  return !failed_;
}

std::optional<WavLayout> parseWavLayout(std::span<const uint8_t> head) {
  if (head.size() < 12 || std::memcmp(head.data(), "RIFF", 4) != 0 || std::memcmp(head.data() + 8, "WAVE", 4) != 0)
    return std::nullopt;
  WavLayout layout;
  bool haveFormat = false;
  size_t at = 12;
  while (at + 8 <= head.size()) {
    const uint8_t* chunk = head.data() + at;
    const uint32_t size = get32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || at + 8 + 16 > head.size()) return std::nullopt;
      layout.format = get16(chunk + 8);
      layout.channels = get16(chunk + 10);
      layout.rate = static_cast<int>(get32(chunk + 12));
      layout.bits = get16(chunk + 22);
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return std::nullopt;
      layout.dataOffset = at + 8;
      layout.dataBytes = size;
      return layout;
    }
    // A chunk's size is padded to an even count; a size that runs past the bytes we have ends the search.
    const uint64_t next = uint64_t(at) + 8 + size + (size & 1);
    if (next > head.size()) return std::nullopt;
    at = static_cast<size_t>(next);
  }
  return std::nullopt;
}

}  // namespace common
