// Encoding a long WAV into MP3 through the encoder library as its caller binds it (polling its progress),
// against `lame` with the same bit rate and quality on the same file.
#include <chrono>
#include <cstdio>
#include <thread>

#include "bench/bench_support.h"
#include "platform/library.h"

int main() {
  if (!bench::peerInstalled("lame")) {
    std::printf("encode: lame missing (make deps installs it)\n");
    return 0;
  }
  // The library is bound from the suite's program folder, next to this benchmark's folder.
  const auto bin = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin";
  ::setenv("WAVEDESK_PROGRAM_DIR", bin.c_str(), 1);
  platform::BoundLibrary encoder("qmxmp3enc.dll");
  if (!encoder.available()) {
    std::printf("encode: qmxmp3enc.so not found in the program folder\n");
    return 1;
  }
  const auto folder = bench::scratchFolder();
  const int minutes = bench::benchMinutes();
  const auto wav = folder / "music.wav";
  if (!bench::writeMusicLikeWav(wav, minutes)) return 1;
  const int runs = 2;
  std::printf("encode: %d-minute WAV at 128 kbit/s\n", minutes);
  struct Setting {
    int quality;
    const char* lameOption;
  } settings[] = {{0, "-f"}, {1, "-h"}};
  for (const Setting& s : settings) {
    const double theirs = bench::runPeer(
        runs, std::string("lame --silent -b 128 ") + s.lameOption + " '" + wav.string() + "' '" + (folder / "peer.mp3").string() + "'");
    const double ours = bench::bestOf(runs, [&] {
      encoder.call<int32_t(int32_t)>("mp3encSetQuality", s.quality);
      encoder.call<int32_t(const char*, const char*, int32_t)>("mp3encStartFile", wav.c_str(),
                                                               (folder / "ours.mp3").c_str(), 128);
      for (;;) {
        const int32_t progress = encoder.call<int32_t()>("mp3encGetProgress");
        if (progress < 0 || progress >= 1000) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      encoder.call<int32_t()>("mp3encStop");
    });
    const std::string what = std::string("encode WAV -> MP3, quality ") + std::to_string(s.quality) + " (lame " + s.lameOption + ")";
    bench::report(what.c_str(), ours, "lame", theirs, 0.95);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
