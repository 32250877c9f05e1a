// fxrender: runs a WAV file through the effect chain block by block, as the host does.
//
//   fxrender [-b SAMPLES] [-p ID=VALUE]... [--float] [--quiet] IN.wav OUT.wav
//
// Parameters are sent in the order given, after Init and before the first block; stage switches are
// parameters too (-p 10=1 switches the equaliser on). The library and its "constants.dat" are taken from
// the program folder, which becomes the current folder while the chain runs, as it is for the host.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/library.h"
#include "platform/paths.h"
#include "wav_file.h"

namespace {

struct Options {
  int blockSize = 1024;
  std::vector<std::pair<int, double>> parameters;
  bool writeFloat = false;
  bool quiet = false;
  std::string input;
  std::string output;
};

int usage() {
  std::fprintf(stderr,
               "usage: fxrender [-b SAMPLES] [-p ID=VALUE]... [--float] [--quiet] IN.wav OUT.wav\n"
               "  -b SAMPLES   block size per channel (default 1024)\n"
               "  -p ID=VALUE  a parameter, e.g. -p 10=1 (equaliser on), -p 1300=0.9 (band 0 gain)\n"
               "  --float      write 32-bit float samples (default: the input's format)\n"
               "  --quiet      no progress bar\n");
  return 2;
}

bool parseOptions(int argc, char** argv, Options& o) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "-b" || arg == "-p") && i + 1 < argc) {
      std::string value = argv[++i];
      char* end = nullptr;
      if (arg == "-b") {
        long n = std::strtol(value.c_str(), &end, 10);
        if (*end != '\0' || n <= 0 || n > (1 << 24)) return false;
        o.blockSize = static_cast<int>(n);
      } else {
        size_t eq = value.find('=');
        if (eq == std::string::npos) return false;
        const std::string idText = value.substr(0, eq);
        long id = std::strtol(idText.c_str(), &end, 10);
        if (*end != '\0' || idText.empty()) return false;
        double v = std::strtod(value.c_str() + eq + 1, &end);
        if (*end != '\0' || eq + 1 == value.size()) return false;
        o.parameters.emplace_back(static_cast<int>(id), v);
      }
    } else if (arg == "--float") {
      o.writeFloat = true;
    } else if (arg == "--quiet") {
      o.quiet = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return false;
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return false;
  o.input = std::filesystem::absolute(files[0]).string();
  o.output = std::filesystem::absolute(files[1]).string();
  return true;
}

class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled && isatty(STDERR_FILENO)) {}
  void show(size_t done, size_t total) {
    if (!enabled_) return;
    const int percent = total ? static_cast<int>(done * 100 / total) : 100;
    if (percent == last_) return;
    last_ = percent;
    const int width = 40, filled = percent * width / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                 std::string(width - filled, ' ').c_str(), percent);
    if (percent == 100) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  }

 private:
  bool enabled_;
  int last_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parseOptions(argc, argv, o)) return usage();

  std::ifstream input(o.input, std::ios::binary);
  std::string error = "cannot open " + o.input;
  std::optional<fxrender::WavLayout> layout;
  if (input) layout = fxrender::readWavLayout(input, error);
  if (!layout) {
    std::fprintf(stderr, "fxrender: %s\n", error.c_str());
    return 1;
  }
  if (layout->sampleRate != 44100)
    std::fprintf(stderr, "fxrender: note: the chain works at 44100 Hz; the file has %d Hz\n", layout->sampleRate);

  std::error_code ec;
  std::filesystem::current_path(platform::hostPath(platform::programFolder()), ec);
  platform::BoundLibrary chain("sv_f_02.dll");
  auto* init = chain.function<int(int)>("Init");
  auto* setParameter = chain.function<int(int, double*)>("SSetParameter");
  auto* convert = chain.function<int(float*, float*, int)>("Konvert");
  auto* close = chain.function<int()>("Close");
  if (!init || !setParameter || !convert || !close) {
    std::fprintf(stderr, "fxrender: %s not found next to the program\n", chain.fileName().c_str());
    return 1;
  }
  if (init(o.blockSize) != 0) {
    std::fprintf(stderr, "fxrender: Init failed (is constants.dat next to the library?)\n");
    return 1;
  }
  for (auto& [id, value] : o.parameters)
    if (setParameter(id, &value) != 0) {
      std::fprintf(stderr, "fxrender: parameter %d = %g rejected\n", id, value);
      close();
      return 1;
    }

  // Block by block from file to file, as the host hands the chain its buffers.
  fxrender::WavWriter output(o.output, layout->sampleRate, o.writeFloat || layout->floatSamples, layout->frames);
  std::vector<uint8_t> raw(static_cast<size_t>(o.blockSize) * layout->bytesPerFrame());
  std::vector<float> left(o.blockSize), right(o.blockSize);
  ProgressBar progress(!o.quiet);
  input.clear();
  input.seekg(static_cast<std::streamoff>(layout->dataOffset));
  bool readFailed = false;
  for (uint64_t done = 0; done < layout->frames && output.ok();) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(o.blockSize, layout->frames - done));
    input.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(n * layout->bytesPerFrame()));
    if (input.gcount() != static_cast<std::streamsize>(n * layout->bytesPerFrame())) {
      readFailed = true;
      break;
    }
    fxrender::decodeFrames(raw.data(), n, *layout, left.data(), right.data());
    convert(left.data(), right.data(), static_cast<int>(n * 4));
    output.write(left.data(), right.data(), n);
    done += n;
    progress.show(done, layout->frames);
  }
  close();
  if (readFailed || !output.finish()) {
    std::fprintf(stderr, "fxrender: %s\n", readFailed ? ("cannot read " + o.input).c_str()
                                                       : ("cannot write " + o.output).c_str());
    std::filesystem::remove(o.output, ec);
    return 1;
  }
  progress.show(layout->frames, layout->frames);
  return 0;
}
