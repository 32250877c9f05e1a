#pragma once
// Converts one audio file into a 44100 Hz 16-bit stereo PCM WAV file, a small step at a time, so the
// caller can answer its own messages between steps. MPEG audio (layers 1 to 3) is decoded by libmpg123,
// every other format libsndfile reads by libsndfile; other sample rates are resampled by libsoxr at high
// quality; mono is doubled to both channels and more than two channels are mixed down.

#include <cstdint>
#include <filesystem>
#include <memory>

namespace qmxkom {

// The error codes SoundGetError reports.
enum ConvertError : int32_t {
  kConvertOk = 0,
  kSourceUnreadable = 1,  // the source cannot be opened
  kNotAudio = 2,          // no decoder recognises the source
  kTargetUnwritable = 3,  // the target cannot be created
  kSourceDamaged = 4,     // decoding stopped at damaged data; what came before is in the target
  kWriteFailed = 5,       // writing the target failed midway (disk full); the target is removed
};

class Decoder;
class Resampler;

class Conversion {
 public:
  // Opens source and creates target; on failure error() says why and the conversion is not open.
  Conversion(const std::filesystem::path& source, const std::filesystem::path& target);
  ~Conversion();
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  bool isOpen() const;
  int32_t error() const { return error_; }
  // Converts the next small piece; returns progress in per mille, 1000 once all is written. Never goes back.
  int32_t step();
  // Finishes the target: after this its header describes all the data written.
  void close();

 private:
  void writeFloat(const float* stereo, size_t frames);
  void finish();

  struct Output;
  std::filesystem::path target_;
  std::unique_ptr<Decoder> decoder_;
  std::unique_ptr<Resampler> resampler_;
  std::unique_ptr<Output> output_;
  int32_t error_ = kConvertOk;
  int32_t progress_ = 0;
  size_t stepFrames_ = 0;  // source frames per step
  size_t readFrames_ = 0;  // source frames per read
  bool done_ = false;
};

}  // namespace qmxkom
