#pragma once
// One MP3 encode at a time, run by LAME in a background thread: a WAV file (complete, or still growing
// while another program writes it) into an MP3 file without tags.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <thread>

namespace qmxmp3enc {

struct EncodeOrder {
  std::filesystem::path source;
  std::filesystem::path target;
  int kbps = 128;
  bool highQuality = false;
  bool stream = false;  // the source may still be growing
};

class Encoder {
 public:
  ~Encoder() { stop(); }

  // Stops a running encode first.
  void start(const EncodeOrder& order);
  // Per mille of the running encode; 1000 once it is complete; -1 when nothing runs or it failed.
  int32_t progress() const { return progress_; }
  // Ends a running encode at once; a target that was not completed is removed.
  void stop();
  // The growing source will not grow any more: the stream encode finishes with what is there.
  void endStream() { streamEnded_ = true; }

 private:
  void run(EncodeOrder order);

  std::thread worker_;
  std::atomic<int32_t> progress_{-1};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> streamEnded_{false};
};

}  // namespace qmxmp3enc
