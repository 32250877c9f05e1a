// Decoding a long MP3 into a 44100 Hz stereo WAV: the conversion stepped to its end as its caller steps
// it, against `mpg123 -w` on the same file.
#include <cstdio>

#include "bench/bench_support.h"
#include "outside/qmx_kom/conversion.h"

int main() {
  if (!bench::peerInstalled("mpg123") || !bench::peerInstalled("lame")) {
    std::printf("decode: mpg123 or lame missing (make deps installs them)\n");
    return 0;
  }
  const auto folder = bench::scratchFolder();
  const int minutes = bench::benchMinutes();
  const auto wav = folder / "music.wav";
  const auto mp3 = folder / "music.mp3";
  if (!bench::writeMusicLikeWav(wav, minutes) ||
      std::system(("lame --silent -b 128 '" + wav.string() + "' '" + mp3.string() + "'").c_str()) != 0) {
    std::printf("decode: the test file could not be made\n");
    return 1;
  }
  const int runs = 3;
  const double theirs = bench::runPeer(runs, "mpg123 -q -w '" + (folder / "peer.wav").string() + "' '" + mp3.string() + "'");
  int steps = 0;
  const double ours = bench::bestOf(runs, [&] {
    qmxkom::Conversion conversion(mp3, folder / "ours.wav");
    steps = 0;
    while (conversion.isOpen() && conversion.step() < 1000) ++steps;
    conversion.close();
  });
  std::printf("decode: %d-minute MP3, 128 kbit/s, %d steps of the conversion\n", minutes, steps);
  bench::report("decode MP3 -> WAV (conversion)", ours, "mpg123 -w", theirs, 0.9);
  std::filesystem::remove_all(folder);
  return 0;
}
