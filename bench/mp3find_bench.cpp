// MP3Suchen over 10,000 cached files, in files per second, and the word match alone over search windows,
// in GB/s (goal: 1 GB/s or more, so that opening the file is the cost of a search, not the match).
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"

#include "sv_MP3Find/sv_MP3Find.h"
#include "sv_MP3Find/word_match.h"

namespace fs = std::filesystem;

namespace {

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Bytes that look like the start of an MP3: an ID3v2 header with texts, then frame data.
std::string mp3Like(size_t bytes, unsigned seed) {
  std::string out = "ID3\x03\x00\x00\x00\x00\x10\x00TIT2\x00\x00\x00\x10\x00\x00\x00Some Title Here";
  while (out.size() < bytes) {
    seed = seed * 1103515245u + 12345u;
    out += static_cast<char>(seed >> 16);
  }
  out.resize(bytes);
  return out;
}

double matchSpeed(const std::string& window, const char* word, int repeats) {
  size_t found = 0;
  double start = now();
  for (int i = 0; i < repeats; ++i) found += mp3find::wordOccurs(window, word) ? 1 : 0;
  double seconds = now() - start;
  if (found != 0) std::abort();  // the words are absent: every window is scanned whole
  return static_cast<double>(window.size()) * repeats / seconds / 1e9;
}

}  // namespace

int main() {
  const fs::path folder = bench::scratchFolder();
  if (folder.empty()) return 1;
  ::setenv("WAVEDESK_PREFIX", (folder / "prefix").c_str(), 1);
  constexpr int kFiles = 10000;
  std::vector<std::string> paths;
  for (int i = 0; i < kFiles; ++i) {
    paths.push_back((folder / ("track" + std::to_string(i) + ".mp3")).string());
    std::ofstream(paths.back(), std::ios::binary) << mp3Like(20000, static_cast<unsigned>(i));
  }
  int hits = 0;
  for (const auto& path : paths) hits += MP3Suchen(path.c_str(), "zqxjv") == 1000;  // warms the cache
  double start = now();
  for (const auto& path : paths) hits += MP3Suchen(path.c_str(), "zqxjv") == 1000;
  double seconds = now() - start;
  std::printf("MP3Suchen over %d cached files: %.0f files/s (%d matches)\n", kFiles, kFiles / seconds, hits);

  std::string window = mp3Like(6096, 7);
  std::string sameLetter(6096, 'a');
  double typical = matchSpeed(window, "zqxjv", 200000);
  // First and last letter fit at every start; the word fails only in its middle.
  std::string middleMiss = std::string(32, 'a') + "b" + std::string(31, 'a');
  double worst = matchSpeed(sameLetter, middleMiss.c_str(), 5000);
  std::printf("word match over 6096-byte windows: %.2f GB/s typical, %.2f GB/s on a window of one letter against a 64-letter word that differs in its middle\n",
              typical, worst);
  std::printf("ratio word match / goal of 1 GB/s: %.2f typical, %.2f worst\n", typical, worst);
  std::error_code ec;
  fs::remove_all(folder, ec);
  return 0;
}
