#include "outside/qmxmp3enc/encoder.h"

#include <fcntl.h>
#include <lame/lame.h>
#include <sndfile.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "common/wav.h"

namespace qmxmp3enc {
namespace {

constexpr size_t kChunkFrames = 8192;
constexpr int kFastQuality = 7;  // LAME's "fast" setting
constexpr int kHighQuality = 2;  // LAME's "high quality" setting
constexpr int kDefaultKbps = 128;
constexpr auto kStreamPoll = std::chrono::milliseconds(20);

// Reads 16-bit frames from the source; nullopt on a read error, 0 frames at the end.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  int rate = 0;
  int channels = 0;
  virtual std::optional<size_t> read(int16_t* out, size_t maxFrames) = 0;
  virtual int32_t perMille() const = 0;
};

// A complete file in any format libsndfile reads.
class FileSource final : public FrameSource {
 public:
  ~FileSource() override {
    if (file_ != nullptr) sf_close(file_);
  }
  bool open(const std::filesystem::path& path) {
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (file_ == nullptr || info.channels < 1 || info.channels > 2 || info.samplerate <= 0) return false;
    rate = info.samplerate;
    channels = info.channels;
    total_ = info.frames > 0 ? static_cast<uint64_t>(info.frames) : 0;
    return true;
  }
  std::optional<size_t> read(int16_t* out, size_t maxFrames) override {
    sf_count_t got = sf_readf_short(file_, out, static_cast<sf_count_t>(maxFrames));
    if (got < 0) return std::nullopt;
    read_ += static_cast<uint64_t>(got);
    return static_cast<size_t>(got);
  }
  int32_t perMille() const override { return total_ == 0 ? 0 : static_cast<int32_t>(read_ * 1000 / total_); }

 private:
  SNDFILE* file_ = nullptr;
  uint64_t total_ = 0;
  uint64_t read_ = 0;
};

// A 16-bit PCM WAV file another program is still writing. A data size of 0 (or all ones) in its header
// means the writer has not finished; the encode follows the file until the header gets its final size
// and that much is read, or until the stream is declared ended.
class GrowingSource final : public FrameSource {
 public:
  GrowingSource(const std::atomic<bool>& stop, const std::atomic<bool>& ended) : stop_(stop), ended_(ended) {}
  ~GrowingSource() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool open(const std::filesystem::path& path) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    while (!readHeader()) {
      if (stop_ || ended_ || !std::filesystem::exists(path_)) return false;
      std::this_thread::sleep_for(kStreamPoll);
    }
    if (layout_.format != 1 || layout_.bits != 16 || layout_.channels < 1 || layout_.channels > 2 || layout_.rate <= 0)
      return false;
    rate = layout_.rate;
    channels = layout_.channels;
    return true;
  }
  std::optional<size_t> read(int16_t* out, size_t maxFrames) override {
    const size_t frameBytes = 2 * static_cast<size_t>(channels);
    for (;;) {
      uint64_t wanted = maxFrames * frameBytes;
      if (finalSize()) wanted = std::min<uint64_t>(wanted, layout_.dataBytes - consumed_);
      wanted -= wanted % frameBytes;
      if (wanted == 0) return 0;
      ssize_t got = ::pread(fd_, out, wanted, static_cast<off_t>(layout_.dataOffset + consumed_));
      if (got < 0) return std::nullopt;
      const size_t frames = static_cast<size_t>(got) / frameBytes;
      if (frames > 0) {
        consumed_ += frames * frameBytes;
        return frames;
      }
      // Caught up with the writer: its header may have its final size by now.
      readHeader();
      if (finalSize()) continue;
      if (ended_ || stop_) return 0;
      if (!std::filesystem::exists(path_)) return std::nullopt;
      std::this_thread::sleep_for(kStreamPoll);
    }
  }
  int32_t perMille() const override {
    return finalSize() && layout_.dataBytes > 0 ? static_cast<int32_t>(consumed_ * 1000 / layout_.dataBytes) : 0;
  }

 private:
  bool finalSize() const { return layout_.dataBytes != 0 && layout_.dataBytes != 0xFFFFFFFFu; }
  bool readHeader() {
    std::array<uint8_t, 4096> head{};
    ssize_t got = ::pread(fd_, head.data(), head.size(), 0);
    if (got <= 0) return false;
    auto layout = common::parseWavLayout(std::span<const uint8_t>(head.data(), static_cast<size_t>(got)));
    if (!layout) return false;
    layout_ = *layout;
    return true;
  }

  const std::atomic<bool>& stop_;
  const std::atomic<bool>& ended_;
  std::filesystem::path path_;
  int fd_ = -1;
  common::WavLayout layout_;
  uint64_t consumed_ = 0;
};

struct LameDeleter {
  void operator()(lame_global_flags* lame) const { lame_close(lame); }
};
using Lame = std::unique_ptr<lame_global_flags, LameDeleter>;

Lame makeLame(const FrameSource& source, int kbps, bool highQuality) {
  for (int tryKbps : {kbps, kDefaultKbps}) {
    Lame lame(lame_init());
    if (!lame) return nullptr;
    lame_set_in_samplerate(lame.get(), source.rate);
    lame_set_num_channels(lame.get(), source.channels);
    lame_set_mode(lame.get(), source.channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(lame.get(), tryKbps);
    lame_set_quality(lame.get(), highQuality ? kHighQuality : kFastQuality);
    lame_set_write_id3tag_automatic(lame.get(), 0);
    if (lame_init_params(lame.get()) >= 0) return lame;
  }
  return nullptr;
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

void Encoder::start(const EncodeOrder& order) {
  stop();
  stopRequested_ = false;
  streamEnded_ = false;
  progress_ = 0;
  worker_ = std::thread([this, order] { run(order); });
}

void Encoder::stop() {
  stopRequested_ = true;
  if (worker_.joinable()) worker_.join();
  progress_ = -1;
}

void Encoder::run(EncodeOrder order) {
  std::unique_ptr<FrameSource> source;
  std::error_code ec;
  if (std::filesystem::equivalent(order.source, order.target, ec)) {
    progress_ = -1;  // writing the target would empty the source
    return;
  }
  if (order.stream) {
    auto growing = std::make_unique<GrowingSource>(stopRequested_, streamEnded_);
    if (growing->open(order.source)) source = std::move(growing);
  } else {
    auto file = std::make_unique<FileSource>();
    if (file->open(order.source)) source = std::move(file);
  }
  Lame lame = source ? makeLame(*source, order.kbps, order.highQuality) : nullptr;
  std::unique_ptr<FILE, FileCloser> out(lame ? std::fopen(order.target.c_str(), "wb") : nullptr);
  bool ok = out != nullptr;
  if (ok) {
    static thread_local std::vector<char> outBuffer(1 << 20);
    std::setvbuf(out.get(), outBuffer.data(), _IOFBF, outBuffer.size());
    std::vector<int16_t> pcm(kChunkFrames * 2);
    std::vector<unsigned char> mp3(kChunkFrames * 5 / 4 + 7200);
    for (;;) {
      if (stopRequested_) {
        ok = false;
        break;
      }
      auto frames = source->read(pcm.data(), kChunkFrames);
      if (!frames) {
        ok = false;
        break;
      }
      if (*frames == 0) break;
      const int n = static_cast<int>(*frames);
      int made = source->channels == 2
                     ? lame_encode_buffer_interleaved(lame.get(), pcm.data(), n, mp3.data(), int(mp3.size()))
                     : lame_encode_buffer(lame.get(), pcm.data(), pcm.data(), n, mp3.data(), int(mp3.size()));
      if (made < 0 || std::fwrite(mp3.data(), 1, size_t(made), out.get()) != size_t(made)) {
        ok = false;
        break;
      }
      progress_ = std::min(999, source->perMille());
    }
    if (ok) {
      int made = lame_encode_flush(lame.get(), mp3.data(), int(mp3.size()));
      ok = made >= 0 && std::fwrite(mp3.data(), 1, size_t(made), out.get()) == size_t(made);
    }
    // LAME reserved the first frame for its header, which tells decoders the exact length.
    std::array<unsigned char, 2880> tag{};
    const size_t tagBytes = ok ? lame_get_lametag_frame(lame.get(), tag.data(), tag.size()) : 0;
    if (tagBytes > 0 && tagBytes <= tag.size()) {
      ok = std::fseek(out.get(), 0, SEEK_SET) == 0 && std::fwrite(tag.data(), 1, tagBytes, out.get()) == tagBytes;
    }
    ok = std::fclose(out.release()) == 0 && ok;
  }
  if (!ok) {
    if (lame) std::filesystem::remove(order.target, ec);
    progress_ = -1;
    return;
  }
  progress_ = 1000;
}

}  // namespace qmxmp3enc
