// wavtone: writes a test WAV (44100 Hz, 16-bit, stereo): a tone on each channel, gliding slowly so that
// encoders and effects have something to work on.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/binary_file.h"
#include "common/riff.h"

namespace {

constexpr int kRate = 44100;

int usage() {
  std::fprintf(stderr, "usage: wavtone FILE SECONDS [HERTZ]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) return usage();
  double seconds = std::atof(argv[2]);
  double hertz = argc == 4 ? std::atof(argv[3]) : 440.0;
  if (!(seconds > 0 && seconds <= 3600 && hertz > 0 && hertz < kRate / 2)) return usage();
  auto file = common::BinaryFile::open(argv[1], common::BinaryFile::Mode::Create);
  if (!file) {
    std::fprintf(stderr, "wavtone: cannot create %s\n", argv[1]);
    return 1;
  }
  using namespace common::riff;
  Writer writer(*file);
  auto form = writer.createForm(kRiff, fourCC("WAVE"));
  uint8_t format[16];
  common::writeLe16(format, 1);              // PCM
  common::writeLe16(format + 2, 2);          // channels
  common::writeLe32(format + 4, kRate);
  common::writeLe32(format + 8, kRate * 4);  // bytes per second
  common::writeLe16(format + 12, 4);         // block alignment
  common::writeLe16(format + 14, 16);        // bits per sample
  bool ok = form && writer.writeChunk(fourCC("fmt "), std::string_view(reinterpret_cast<char*>(format), 16));
  auto data = writer.create(fourCC("data"));
  ok = ok && data.has_value();
  const long frames = std::lround(seconds * kRate);
  std::vector<uint8_t> block;
  double phaseLeft = 0, phaseRight = 0;
  for (long done = 0; ok && done < frames;) {
    long count = std::min<long>(frames - done, kRate);
    block.resize(static_cast<size_t>(count) * 4);
    for (long i = 0; i < count; ++i) {
      double t = static_cast<double>(done + i) / kRate;
      double glide = 1.0 + 0.25 * std::sin(2 * M_PI * 0.1 * t);
      phaseLeft += 2 * M_PI * hertz * glide / kRate;
      phaseRight += 2 * M_PI * hertz * 1.5 * glide / kRate;
      common::writeLe16(&block[static_cast<size_t>(i) * 4], static_cast<uint16_t>(static_cast<int16_t>(12000 * std::sin(phaseLeft))));
      common::writeLe16(&block[static_cast<size_t>(i) * 4 + 2], static_cast<uint16_t>(static_cast<int16_t>(12000 * std::sin(phaseRight))));
    }
    ok = writer.write(block.data(), block.size());
    done += count;
  }
  ok = ok && writer.ascend(*data) && writer.ascend(*form) && file->flush();
  if (!ok) {
    std::fprintf(stderr, "wavtone: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
