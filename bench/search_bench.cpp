// A tag search for one word over 10,000 cached MP3 files through the search control, in files per second,
// against a plain loop that opens each file and reads the same two windows (the first and the last 6096
// bytes). Goal: the control within 2 times the plain loop.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"

#include "tests/support/control_host.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 10000;
constexpr size_t kWindow = 6096;

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

std::string mp3Like(size_t bytes, unsigned seed) {
  std::string out = "ID3\x03\x00\x00\x00\x00\x10\x00TIT2\x00\x00\x00\x10\x00\x00\x00Some Title Here";
  while (out.size() < bytes) {
    seed = seed * 1103515245u + 12345u;
    out += static_cast<char>('a' + (seed >> 16) % 26);
  }
  out.resize(bytes);
  return out;
}

// Opens every file and reads its first and last window; the count of windows holding the word's first
// letter keeps the reads from being optimised away.
double plainLoop(const std::vector<std::string>& paths) {
  static char window[kWindow];
  long seen = 0;
  double start = now();
  for (const std::string& path : paths) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) continue;
    off_t size = ::lseek(fd, 0, SEEK_END);
    size_t n = std::min<size_t>(kWindow, static_cast<size_t>(size));
    seen += ::pread(fd, window, n, 0) > 0 && window[0] == 'z';
    seen += ::pread(fd, window, n, size - static_cast<off_t>(n)) > 0 && window[0] == 'z';
    ::close(fd);
  }
  double seconds = now() - start;
  if (seen < 0) std::puts("");
  return seconds;
}

}  // namespace

int main() {
  const fs::path root = bench::scratchFolder();
  if (root.empty()) return 1;
  ::setenv("WAVEDESK_PREFIX", (root / "prefix").c_str(), 1);
  ::setenv("WAVEDESK_PROGRAM_DIR", WAVEDESK_BIN_DIR, 1);
  fs::path music = root / "music";
  std::vector<std::string> paths;
  for (int i = 0; i < kFiles; ++i) {
    fs::path folder = music / ("album" + std::to_string(i / 100));
    fs::create_directories(folder);
    paths.push_back((folder / ("track" + std::to_string(i) + ".mp3")).string());
    std::ofstream(paths.back(), std::ios::binary) << mp3Like(20000, static_cast<unsigned>(i));
  }

  testsupport::ControlHost host("sv_search.dll", "sv_search", "Suche", "S_Suche");
  if (host.control() == nullptr) {
    std::puts("sv_search.so not found");
    return 1;
  }
  host.set("Search.Option.Flag", "oder");
  host.set("Search.Option.SearchIn", "tag");
  host.set("Search.Text", "zqxjvw");
  host.set("Search.Path", music.string());
  auto search = [&] {
    double start = now();
    host.call("onSearch", "");
    double seconds = now() - start;
    return std::make_pair(seconds, host.takeWrites().size());
  };
  search();  // warms the cache and binds the libraries
  plainLoop(paths);
  auto [searchSeconds, hits] = search();
  double loopSeconds = plainLoop(paths);
  std::printf("tag search over %d cached MP3 files: %.0f files/s (%zu hits)\n", kFiles, kFiles / searchSeconds, hits);
  std::printf("plain loop reading the same two windows: %.0f files/s\n", kFiles / loopSeconds);
  std::printf("ratio search time / plain loop time: %.2f (goal: 2 or less)\n", searchSeconds / loopSeconds);
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
