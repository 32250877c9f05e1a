// sv_fad crossfading two 10-minute WAV files with a 5-second crossfade, against cp of the same two files
// in the same run. The work is a copy with a little mixing, so the disk (here the page cache) sets the
// pace: the goal is at most 1.5 times the copy's time.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_support.h"

#include "sv_fad/sv_fad.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kBytesPerSecond = 176400;

void writeWav(const fs::path& path, size_t seconds, int seed) {
  size_t bytes = seconds * kBytesPerSecond;
  auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  std::string header = "RIFF" + le32(static_cast<uint32_t>(36 + bytes)) + "WAVEfmt " + le32(16) +
                       std::string("\x01\x00\x02\x00\x44\xAC\x00\x00\x10\xB1\x02\x00\x04\x00\x10\x00", 16) + "data" +
                       le32(static_cast<uint32_t>(bytes));
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 7 + seed) & 0xFF);
  std::ofstream out(path, std::ios::binary);
  out << header;
  for (size_t done = 0; done < bytes;) {
    size_t step = std::min(block.size(), bytes - done);
    out.write(block.data(), static_cast<std::streamsize>(step));
    done += step;
  }
}

double secondsOf(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void crossfade(const fs::path& folder) {
  addFile((folder / "a.wav").c_str(), (folder / "out1.wav").c_str(), 5000, 500, fad::kCrossfade);
  addFile((folder / "b.wav").c_str(), (folder / "out2.wav").c_str(), 0, 0, 0);
  if (crossFader() != 0) std::abort();
  while (stepFade() == 1) {
  }
}

void copyBoth(const fs::path& folder) {
  std::string command = "cp '" + (folder / "a.wav").string() + "' '" + (folder / "b.wav").string() + "' '" +
                        (folder / "copies").string() + "/'";
  if (std::system(command.c_str()) != 0) std::abort();
}

}  // namespace

int main() {
  const fs::path folder = bench::scratchFolder();
  if (folder.empty()) return 1;
  ::setenv("WAVEDESK_PREFIX", (folder / "prefix").c_str(), 1);
  fs::create_directories(folder / "copies");
  writeWav(folder / "a.wav", 600, 1);
  writeWav(folder / "b.wav", 600, 2);

  constexpr int kRounds = 5;
  std::vector<double> fades, copies;
  for (int round = 0; round < kRounds + 1; ++round) {
    // Outputs and copies are removed first, so each round writes new files as a burn preparation does.
    fs::remove(folder / "out1.wav");
    fs::remove(folder / "out2.wav");
    fs::remove(folder / "copies" / "a.wav");
    fs::remove(folder / "copies" / "b.wav");
    double fade = secondsOf([&] { crossfade(folder); });
    double copy = secondsOf([&] { copyBoth(folder); });
    if (round > 0) {  // the first round warms the cache
      fades.push_back(fade);
      copies.push_back(copy);
    }
  }
  std::sort(fades.begin(), fades.end());
  std::sort(copies.begin(), copies.end());
  double fade = fades[kRounds / 2];
  double copy = copies[kRounds / 2];
  std::printf("sv_fad: two 10-minute files, 5 s crossfade: %.3f s (median of %d)\n", fade, kRounds);
  std::printf("cp of the same two files:                  %.3f s\n", copy);
  std::printf("ratio sv_fad / cp: %.2f (goal: at most 1.50)\n", fade / copy);
  std::error_code ec;
  fs::remove_all(folder, ec);
  return 0;
}
