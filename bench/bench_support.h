#pragma once
// What the benchmarks share: a scratch folder, a music-like test signal written with our own WAV
// writer, wall-clock timing of a peer program and of our own code, and the printed comparison.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "common/wav.h"

namespace bench {

inline std::filesystem::path scratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "wavedesk-bench-XXXXXX").string();
  const char* made = ::mkdtemp(pattern.data());
  return made != nullptr ? std::filesystem::path(made) : std::filesystem::path();
}

// Minutes of the test signal: 10, the length of a long album track; BENCH_MINUTES sets fewer for a quick look.
inline int benchMinutes() {
  const char* text = std::getenv("BENCH_MINUTES");
  return text != nullptr ? std::max(1, std::atoi(text)) : 10;
}

// Chords that change every half second over a little noise: enough spectrum that an encoder does real work.
inline bool writeMusicLikeWav(const std::filesystem::path& file, int minutes) {
  common::WavWriter writer;
  if (!writer.open(file)) return false;
  const size_t frames = size_t(minutes) * 60 * 44100;
  std::vector<int16_t> block;
  uint32_t noise = 1;
  for (size_t start = 0; start < frames; start += 22050) {
    const int chord = int(start / 22050 % 7);
    block.clear();
    for (size_t i = start; i < std::min(frames, start + 22050); ++i) {
      const double t = double(i) / 44100;
      double left = 0, right = 0;
      for (int n = 0; n < 3; ++n) {
        const double hz = 110.0 * std::pow(2.0, (chord * 2 + n * 4) / 12.0);
        left += 0.2 * std::sin(2 * std::numbers::pi * hz * t);
        right += 0.2 * std::sin(2 * std::numbers::pi * hz * 1.5 * t);
      }
      noise = noise * 1664525u + 1013904223u;
      const double hiss = (double(noise >> 8) / double(1 << 24) - 0.5) * 0.05;
      block.push_back(int16_t(std::lrint((left + hiss) * 32767)));
      block.push_back(int16_t(std::lrint((right - hiss) * 32767)));
    }
    writer.append(block);
  }
  return writer.close();
}

inline double secondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of `runs` timings, the usual way to take out the noise of other work on the machine.
inline double bestOf(int runs, const std::function<void()>& work) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) best = std::min(best, secondsOf(work));
  return best;
}

inline bool peerInstalled(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

inline double runPeer(int runs, const std::string& command) {
  bool ok = true;
  double seconds = bestOf(runs, [&] { ok = std::system(command.c_str()) == 0 && ok; });
  if (!ok) std::printf("  peer command failed: %s\n", command.c_str());
  return seconds;
}

// Speed ratio: ours against the peer's, above 1 when we are faster.
inline void report(const char* what, double ours, const char* peer, double theirs, double required) {
  const double ratio = theirs / ours;
  std::printf("%-44s ours %7.3f s   %-14s %7.3f s   speed ratio %.2f (required %.2f) %s\n", what, ours, peer, theirs,
              ratio, required, ratio >= required ? "ok" : "BELOW");
}

}  // namespace bench
