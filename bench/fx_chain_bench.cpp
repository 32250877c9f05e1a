// The effect chain against sox on a two-minute stereo file: fxrender and sox each render the file with
// comparable work, best of five runs, and the ratio says how many times faster we are. Then each stage
// alone, run in this process through the shipped library, in samples per second, and the cost of a block
// with every stage off.
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "wav_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSeconds = 120;
constexpr int kFrames = 44100 * kSeconds;

double childCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Processor time (user and system) of the command, best of five: steadier than wall time on a machine
// that is busy with other work.
double bestOf5(const std::string& command) {
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    const double before = childCpuSeconds();
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "failed: %s\n", command.c_str());
      std::exit(1);
    }
    best = std::min(best, childCpuSeconds() - before);
  }
  return best;
}

// Music-like material: a few tones with a slow beat over pink-ish noise.
fxrender::StereoAudio makeInput() {
  fxrender::StereoAudio audio;
  audio.left.resize(kFrames);
  audio.right.resize(kFrames);
  std::mt19937 random(2024);
  std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
  float pinkL = 0, pinkR = 0;
  for (int i = 0; i < kFrames; ++i) {
    const double t = i / 44100.0;
    const double beat = 0.5 + 0.5 * std::sin(2 * M_PI * 2 * t);
    pinkL = 0.97f * pinkL + 0.03f * noise(random);
    pinkR = 0.97f * pinkR + 0.03f * noise(random);
    audio.left[i] = static_cast<float>(0.2 * std::sin(2 * M_PI * 220 * t) * beat + 0.1 * std::sin(2 * M_PI * 3300 * t) + pinkL);
    audio.right[i] = static_cast<float>(0.2 * std::sin(2 * M_PI * 330 * t) * beat + 0.1 * std::sin(2 * M_PI * 5100 * t) + pinkR);
  }
  return audio;
}

std::string equaliserParameters() {
  std::string p = "-p 10=1";
  const char* gains[] = {"0.8", "0.3", "0.7", "0.4", "0.6", "0.2", "0.9", "0.35", "0.65", "0.75"};
  for (int i = 0; i < 10; ++i) p += " -p " + std::to_string(1300 + i) + "=" + gains[i];
  return p;
}

std::string soxEqualisers() {
  const int hz[] = {60, 80, 160, 320, 640, 1100, 2200, 4500, 9000, 12000};
  const char* db[] = {"7", "-7", "7", "-3", "3", "-11", "14", "-5", "5", "6"};
  std::string s;
  for (int i = 0; i < 10; ++i) s += " equalizer " + std::to_string(hz[i]) + " 4q " + db[i];
  return s;
}

struct Library {
  int (*init)(int);
  int (*set)(int, double*);
  int (*convert)(float*, float*, int);
  int (*close)();
};

// Samples per second of one channel pair through the chain with these parameters.
double samplesPerSecond(const Library& fx, const std::vector<std::pair<int, double>>& parameters,
                        const fxrender::StereoAudio& input) {
  constexpr int kBlock = 1024;
  fx.init(kBlock);
  for (auto [id, value] : parameters) fx.set(id, &value);
  std::vector<float> left(input.left), right(input.right);
  const auto cpu = [] {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
  };
  const double start = cpu();
  for (int at = 0; at + kBlock <= kFrames; at += kBlock) fx.convert(left.data() + at, right.data() + at, kBlock * 4);
  const double elapsed = cpu() - start;
  fx.close();
  return (kFrames / kBlock) * kBlock / elapsed;
}

}  // namespace

int main() {
  if (std::system("command -v sox > /dev/null") != 0) {
    std::printf("sox is not installed (make deps installs it)\n");
    return 1;
  }
  const fs::path work = fs::temp_directory_path() / ("fx-bench-" + std::to_string(::getpid()));
  fs::create_directories(work);
  const std::string in = (work / "in.wav").string(), out = (work / "out.wav").string();
  const fxrender::StereoAudio input = makeInput();
  fxrender::writeWav(in, input, false);
  const std::string ours = "WAVEDESK_PREFIX=" + (work / "prefix").string() + " " WAVEDESK_BIN_DIR "/fxrender --quiet ";
  const std::string sox = "sox -q " + in + " " + out;

  std::printf("two-minute stereo file, 16-bit, best of 5 runs each (processor time, file in and out included)\n");
  std::printf("%-34s %9s %9s %14s\n", "work", "ours (s)", "sox (s)", "ours/sox speed");
  struct Comparison {
    const char* what;
    std::string ourArguments;
    std::string soxEffects;
    double target;
  } comparisons[] = {
      {"equaliser, 10 bands changed", equaliserParameters(), soxEqualisers(), 2.0},
      {"room reverb, preset 0", "-p 20=1", " reverb", 1.0},
      {"all eight stages", equaliserParameters() +
                               " -p 20=1 -p 30=1 -p 1500=300 -p 40=1 -p 50=1 -p 1800=300 -p 1801=400 -p 60=1"
                               " -p 1900=300 -p 1901=200 -p 1902=400 -p 70=1 -p 2000=600 -p 2001=200 -p 80=1"
                               " -p 1700=500 -p 1701=300 -p 1702=200 -p 1703=500",
       soxEqualisers() + " reverb echo 0.8 0.9 100 0.3 lowpass 3000 overdrive", 1.5},
  };
  bool allMet = true;
  for (const Comparison& c : comparisons) {
    const double ourTime = bestOf5(ours + c.ourArguments + " " + in + " " + out);
    const double soxTime = bestOf5(sox + c.soxEffects);
    const double ratio = soxTime / ourTime;
    allMet = allMet && ratio >= c.target;
    std::printf("%-34s %9.3f %9.3f %8.2f (target %.1f)\n", c.what, ourTime, soxTime, ratio, c.target);
  }

  // Each stage alone, through the library in this process; its tables are read from the program folder.
  fs::current_path(WAVEDESK_BIN_DIR);
  void* handle = ::dlopen(WAVEDESK_BIN_DIR "/sv_f_02.so", RTLD_NOW);
  if (handle == nullptr) {
    std::printf("cannot load the library: %s\n", ::dlerror());
    return 1;
  }
  Library fx{reinterpret_cast<int (*)(int)>(::dlsym(handle, "Init")),
             reinterpret_cast<int (*)(int, double*)>(::dlsym(handle, "SSetParameter")),
             reinterpret_cast<int (*)(float*, float*, int)>(::dlsym(handle, "Konvert")),
             reinterpret_cast<int (*)()>(::dlsym(handle, "Close"))};
  const struct {
    const char* name;
    std::vector<std::pair<int, double>> parameters;
  } stages[] = {
      {"every stage off (soft clipper)", {}},
      {"comb delay", {{50, 1}, {1800, 300}, {1801, 400}}},
      {"tone shaper", {{70, 1}, {2000, 600}, {2001, 200}}},
      {"filter sweep", {{40, 1}}},
      {"echo", {{60, 1}, {1900, 300}, {1901, 200}, {1902, 400}}},
      {"resonant filter", {{80, 1}, {1700, 500}, {1701, 300}, {1702, 200}, {1703, 500}}},
      {"room reverb, preset 0", {{20, 1}}},
      {"equaliser, 10 bands", {{10, 1}, {1300, 0.8}, {1301, 0.3}, {1302, 0.7}, {1303, 0.4}, {1304, 0.6},
                               {1305, 0.2}, {1306, 0.9}, {1307, 0.35}, {1308, 0.65}, {1309, 0.75}}},
      {"stereo widener", {{30, 1}, {1500, 300}}},
  };
  std::printf("\neach stage alone in blocks of 1024 (soft clipper included), stereo samples per second:\n");
  double offRate = 0;
  for (const auto& stage : stages) {
    const double rate = samplesPerSecond(fx, stage.parameters, input);
    if (offRate == 0) offRate = rate;
    std::printf("  %-32s %8.1f M/s  (%.0fx real time)\n", stage.name, rate / 1e6, rate / 44100.0);
  }
  std::printf("  a 1024-sample block with every stage off costs %.2f us\n", 1024.0 / offRate * 1e6);
  fs::remove_all(work);
  std::printf("\n%s\n", allMet ? "all targets met" : "SOME TARGETS MISSED");
  return 0;
}
