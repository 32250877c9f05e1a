#include "outside/qmx_kom/conversion.h"

#include <mpg123.h>
#include <sndfile.h>
#include <soxr.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <mutex>
#include <system_error>
#include <vector>

#include "common/wav.h"

namespace qmxkom {

namespace {

constexpr size_t kReadFrames = 16384;
// A step converts about this share of the source, within bounds that keep it short (the caller answers
// its host between steps) yet large enough that per-step overhead stays negligible.
constexpr uint64_t kStepsPerFile = 500;
constexpr size_t kMinStepFrames = 4608;
constexpr size_t kMaxStepFrames = 65536;
constexpr size_t kUnknownLengthStepFrames = 32768;
constexpr int kMaxChannels = 1024;
// Lower rates are no audio we convert: each of their frames would become dozens of output frames.
constexpr int kMinRate = 1000;
// Samples one read holds at most, whatever the channel count.
constexpr size_t kMaxReadSamples = 1 << 18;
// Decoding goes on past damaged frames; this many errors in one file end it (a reader that keeps failing).
constexpr int kMaxDecodeErrors = 1000;
constexpr int kMaxRate = 1'000'000;

int16_t toSample(float value) {
  const float scaled = std::nearbyint(value * 32768.0f);
  if (!(scaled > -32768.0f)) return -32768;  // also NaN
  if (scaled > 32767.0f) return 32767;
  return static_cast<int16_t>(scaled);
}

int32_t perMilleOf(uint64_t part, uint64_t whole) {
  if (whole == 0) return 0;
  return static_cast<int32_t>(std::min<uint64_t>(1000, part * 1000 / whole));
}

}  // namespace

// A source of audio frames, either 16-bit integers at 44100 Hz (one or two channels: no further work
// but doubling mono) or floats at any rate and channel count.
class Decoder {
 public:
  virtual ~Decoder() = default;
  int rate = 0;
  int channels = 0;
  bool deliversShorts = false;
  // Reads up to maxFrames frames into out (int16_t or float per deliversShorts); 0 at the end.
  virtual size_t read(void* out, size_t maxFrames) = 0;
  virtual int32_t perMille() = 0;  // share of the source consumed
  virtual uint64_t estimatedFrames() = 0;  // 0 when unknown
  bool damaged = false;
};

namespace {

class MpegDecoder final : public Decoder {
 public:
  ~MpegDecoder() override {
    if (handle_ != nullptr) {
      mpg123_close(handle_);
      mpg123_delete(handle_);
    }
  }

  bool open(const std::filesystem::path& source) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    std::error_code ec;
    fileBytes_ = std::filesystem::file_size(source, ec);
    if (ec) return false;
    handle_ = mpg123_new(nullptr, nullptr);
    if (handle_ == nullptr) return false;
    // The library's default gapless handling stays on, so padding an encoder added is trimmed.
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // 44100 Hz comes out as 16-bit samples, ready to write; every other rate as floats for the resampler.
    mpg123_format_none(handle_);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
      mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO,
                    rates[i] == common::kCdRate ? MPG123_ENC_SIGNED_16 : MPG123_ENC_FLOAT_32);
    if (mpg123_open(handle_, source.c_str()) != MPG123_OK) return false;
    long sourceRate = 0;
    int sourceChannels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle_, &sourceRate, &sourceChannels, &encoding) != MPG123_OK) return false;
    if (sourceRate < kMinRate || sourceRate > kMaxRate || sourceChannels < 1 || sourceChannels > 2) return false;
    if (encoding != MPG123_ENC_SIGNED_16 && encoding != MPG123_ENC_FLOAT_32) return false;
    rate = static_cast<int>(sourceRate);
    channels = sourceChannels;
    deliversShorts = encoding == MPG123_ENC_SIGNED_16;
    // Once the stream is known to be audio, damaged stretches of any length are skipped.
    mpg123_param(handle_, MPG123_RESYNC_LIMIT, -1, 0.0);
    return true;
  }

  size_t read(void* out, size_t maxFrames) override {
    if (ended_) return 0;
    const size_t frameBytes = (deliversShorts ? 2 : 4) * static_cast<size_t>(channels);
    auto* bytes = static_cast<unsigned char*>(out);
    size_t filled = 0;
    while (filled < maxFrames * frameBytes) {
      size_t done = 0;
      int result = mpg123_read(handle_, bytes + filled, maxFrames * frameBytes - filled, &done);
      filled += done;
      if (result == MPG123_NEW_FORMAT && !formatUnchanged()) {
        // A stream that changes rate or channels midway ends where it changes.
        damaged = true;
        ended_ = true;
        break;
      }
      if (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
        if (done == 0 && result == MPG123_OK) break;
        continue;
      }
      if (result == MPG123_DONE || ++errors_ > kMaxDecodeErrors) {
        ended_ = true;
        break;
      }
      damaged = true;
    }
    return filled / frameBytes;
  }

  int32_t perMille() override { return perMilleOf(static_cast<uint64_t>(std::max<off_t>(0, mpg123_tell_stream(handle_))), fileBytes_); }

  uint64_t estimatedFrames() override {
    off_t length = mpg123_length(handle_);
    return length > 0 ? static_cast<uint64_t>(length) : 0;
  }

 private:
  bool formatUnchanged() {
    long nowRate = 0;
    int nowChannels = 0;
    int nowEncoding = 0;
    if (mpg123_getformat(handle_, &nowRate, &nowChannels, &nowEncoding) != MPG123_OK) return false;
    return nowRate == rate && nowChannels == channels &&
           nowEncoding == (deliversShorts ? MPG123_ENC_SIGNED_16 : MPG123_ENC_FLOAT_32);
  }

  mpg123_handle* handle_ = nullptr;
  uint64_t fileBytes_ = 0;
  bool ended_ = false;
  int errors_ = 0;
};

class SndfileDecoder final : public Decoder {
 public:
  ~SndfileDecoder() override {
    if (file_ != nullptr) sf_close(file_);
  }

  // False when libsndfile does not read the file or it is MPEG audio, which goes to libmpg123.
  bool open(const std::filesystem::path& source) {
    SF_INFO info{};
    file_ = sf_open(source.c_str(), SFM_READ, &info);
    if (file_ == nullptr) return false;
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) return false;
    if (info.samplerate < kMinRate || info.samplerate > kMaxRate || info.channels <= 0 || info.channels > kMaxChannels)
      return false;
    rate = info.samplerate;
    channels = info.channels;
    frames_ = info.frames > 0 ? static_cast<uint64_t>(info.frames) : 0;
    deliversShorts = rate == common::kCdRate && channels <= 2 && (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    return true;
  }

  size_t read(void* out, size_t maxFrames) override {
    const sf_count_t wanted = static_cast<sf_count_t>(maxFrames);
    sf_count_t got = deliversShorts ? sf_readf_short(file_, static_cast<short*>(out), wanted)
                                    : sf_readf_float(file_, static_cast<float*>(out), wanted);
    if (got <= 0) {
      if (sf_error(file_) != SF_ERR_NO_ERROR) damaged = true;
      return 0;
    }
    read_ += static_cast<uint64_t>(got);
    return static_cast<size_t>(got);
  }

  int32_t perMille() override { return perMilleOf(read_, frames_); }
  uint64_t estimatedFrames() override { return frames_; }

 private:
  SNDFILE* file_ = nullptr;
  uint64_t frames_ = 0;
  uint64_t read_ = 0;
};

// Mixes frames of any channel count into stereo: mono to both sides; with more than two channels the
// first two are left and right and every further one goes to both sides at half weight, the sum scaled
// so that no combination of full-scale channels can clip.
void mixToStereo(const float* in, size_t frames, int channels, std::vector<float>& out) {
  out.resize(frames * 2);
  if (channels == 2) {
    std::copy(in, in + frames * 2, out.begin());
    return;
  }
  if (channels == 1) {
    for (size_t i = 0; i < frames; ++i) out[2 * i] = out[2 * i + 1] = in[i];
    return;
  }
  const float scale = 1.0f / (1.0f + 0.5f * static_cast<float>(channels - 2));
  for (size_t i = 0; i < frames; ++i) {
    const float* frame = in + i * static_cast<size_t>(channels);
    float shared = 0.0f;
    for (int c = 2; c < channels; ++c) shared += frame[c];
    out[2 * i] = (frame[0] + 0.5f * shared) * scale;
    out[2 * i + 1] = (frame[1] + 0.5f * shared) * scale;
  }
}

// An ID3v2 tag or an MPEG audio frame header at the very start.
bool startsLikeMpeg(const std::filesystem::path& source) {
  unsigned char head[3] = {};
  std::ifstream in(source, std::ios::binary);
  in.read(reinterpret_cast<char*>(head), sizeof head);
  if (in.gcount() < 3) return false;
  return (head[0] == 'I' && head[1] == 'D' && head[2] == '3') || (head[0] == 0xFF && (head[1] & 0xE0) == 0xE0);
}

template <typename D>
std::unique_ptr<Decoder> tryDecoder(const std::filesystem::path& source) {
  auto decoder = std::make_unique<D>();
  if (!decoder->open(source)) return nullptr;
  return decoder;
}

// MPEG audio goes to libmpg123 (which libsndfile would also claim), the rest to libsndfile; a source that
// starts with neither signature gets libmpg123's search for a frame as a last chance.
std::unique_ptr<Decoder> openDecoder(const std::filesystem::path& source) {
  if (startsLikeMpeg(source)) {
    if (auto mpeg = tryDecoder<MpegDecoder>(source)) return mpeg;
    return tryDecoder<SndfileDecoder>(source);
  }
  if (auto other = tryDecoder<SndfileDecoder>(source)) return other;
  return tryDecoder<MpegDecoder>(source);
}

}  // namespace

class Resampler {
 public:
  explicit Resampler(int inputRate) : ratio_(double(common::kCdRate) / inputRate) {
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    soxr_ = soxr_create(inputRate, common::kCdRate, common::kCdChannels, &error, &io, &quality, nullptr);
    if (error != nullptr) soxr_ = nullptr;
  }
  ~Resampler() { soxr_delete(soxr_); }
  bool ok() const { return soxr_ != nullptr; }

  // Resamples stereo frames; frames == 0 drains what the filter still holds.
  const std::vector<float>& process(const float* in, size_t frames) {
    out_.clear();
    size_t consumed = 0;
    for (;;) {
      const size_t room = static_cast<size_t>(double(frames - consumed) * ratio_) + 1024;
      const size_t start = out_.size();
      out_.resize(start + room * 2);
      size_t used = 0;
      size_t made = 0;
      soxr_process(soxr_, frames == 0 ? nullptr : in + consumed * 2, frames - consumed, &used, out_.data() + start,
                   room, &made);
      out_.resize(start + made * 2);
      consumed += used;
      if (frames == 0 ? made == 0 : (consumed >= frames && made < room)) break;
    }
    return out_;
  }

 private:
  double ratio_;
  soxr_t soxr_ = nullptr;
  std::vector<float> out_;
};

struct Conversion::Output {
  common::WavWriter writer;
  std::vector<int16_t> shorts;
  std::vector<float> floats;
  std::vector<float> stereo;
  std::vector<int16_t> samples;
};

Conversion::Conversion(const std::filesystem::path& source, const std::filesystem::path& target)
    : target_(target), output_(std::make_unique<Output>()) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(source, ec) || ::access(source.c_str(), R_OK) != 0) {
    error_ = kSourceUnreadable;
    return;
  }
  // Creating the target would empty a source that is the same file.
  if (std::filesystem::equivalent(source, target, ec)) {
    error_ = kTargetUnwritable;
    return;
  }
  decoder_ = openDecoder(source);
  if (!decoder_) {
    error_ = kNotAudio;
    return;
  }
  if (decoder_->rate != common::kCdRate) {
    resampler_ = std::make_unique<Resampler>(decoder_->rate);
    if (!resampler_->ok()) {
      decoder_.reset();
      error_ = kNotAudio;
      return;
    }
  }
  if (!output_->writer.open(target_)) {
    decoder_.reset();
    error_ = kTargetUnwritable;
    return;
  }
  // Step and read sizes are set in time rather than frames, so a step takes about as long at any rate.
  const double rateShare = double(decoder_->rate) / common::kCdRate;
  const auto scaled = [&](size_t frames) { return std::max<size_t>(64, static_cast<size_t>(double(frames) * rateShare)); };
  const uint64_t estimate = decoder_->estimatedFrames();
  stepFrames_ = estimate == 0 ? scaled(kUnknownLengthStepFrames)
                              : std::clamp<size_t>(static_cast<size_t>(estimate / kStepsPerFile),
                                                   scaled(kMinStepFrames), scaled(kMaxStepFrames));
  const auto channels = static_cast<size_t>(decoder_->channels);
  readFrames_ = std::max<size_t>(1, std::min({kReadFrames, stepFrames_, kMaxReadSamples / channels}));
  if (decoder_->deliversShorts)
    output_->shorts.resize(readFrames_ * channels);
  else
    output_->floats.resize(readFrames_ * channels);
}

Conversion::~Conversion() { close(); }

bool Conversion::isOpen() const { return decoder_ != nullptr; }

void Conversion::writeFloat(const float* stereo, size_t frames) {
  auto& samples = output_->samples;
  samples.resize(frames * 2);
  for (size_t i = 0; i < frames * 2; ++i) samples[i] = toSample(stereo[i]);
  output_->writer.append(samples);
}

int32_t Conversion::step() {
  if (!isOpen() || done_) return 1000;
  Output& out = *output_;
  size_t frames = 0;
  while (frames < stepFrames_ && !done_) {
    const size_t wanted = std::min(readFrames_, stepFrames_ - frames);
    const size_t got = decoder_->deliversShorts ? decoder_->read(out.shorts.data(), wanted)
                                                : decoder_->read(out.floats.data(), wanted);
    if (got == 0) {
      finish();
      break;
    }
    frames += got;
    if (decoder_->deliversShorts) {
      if (decoder_->channels == 1) {
        out.samples.resize(got * 2);
        for (size_t i = 0; i < got; ++i) out.samples[2 * i] = out.samples[2 * i + 1] = out.shorts[i];
        out.writer.append(out.samples);
      } else {
        out.writer.append(std::span<const int16_t>(out.shorts.data(), got * 2));
      }
      continue;
    }
    mixToStereo(out.floats.data(), got, decoder_->channels, out.stereo);
    if (resampler_) {
      const auto& resampled = resampler_->process(out.stereo.data(), got);
      writeFloat(resampled.data(), resampled.size() / 2);
    } else {
      writeFloat(out.stereo.data(), got);
    }
  }
  if (!out.writer.flush()) {
    error_ = kWriteFailed;
    done_ = true;
  }
  if (done_) {
    progress_ = 1000;
  } else {
    progress_ = std::max(progress_, std::min<int32_t>(999, decoder_->perMille()));
  }
  return progress_;
}

void Conversion::finish() {
  if (resampler_) {
    const auto& tail = resampler_->process(nullptr, 0);
    writeFloat(tail.data(), tail.size() / 2);
  }
  if (decoder_->damaged && error_ == kConvertOk) error_ = kSourceDamaged;
  done_ = true;
}

void Conversion::close() {
  if (!isOpen()) return;
  if (!output_->writer.close()) {
    error_ = kWriteFailed;
    std::error_code ec;
    std::filesystem::remove(target_, ec);
  }
  decoder_.reset();
  resampler_.reset();
}

}  // namespace qmxkom
