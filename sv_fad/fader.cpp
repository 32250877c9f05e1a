// The crossfade mixer: a chain of WAV files, each written to its own output, the transition zone between
// two files split between the end of the first output and the start of the second.
//
// Every source counts the bytes of its "data" chunk not yet read; no read of a source goes past them, so
// every byte of audio ends up in an output exactly once (or, in a transition, mixed exactly once).
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/binary_file.h"
#include "common/riff.h"
#include "platform/paths.h"
#include "sv_fad/sv_fad.h"

namespace fad {
namespace {

using common::BinaryFile;
using namespace common::riff;

constexpr FourCC kWave = fourCC("WAVE");
constexpr size_t kBlock = 65536;
constexpr double kBytesPerMillisecond = 44100 * 4 / 1000.0;

struct FadeEntry {
  std::string source;
  std::string target;
  int32_t fadeLength = 0;
  int32_t fadeOverlap = 0;
  uint32_t fadeKind = 0;
  FadeEntry* next = nullptr;
};

// A source positioned in its "data" chunk.
struct Source {
  BinaryFile file;
  uint64_t dataSize = 0;
  uint64_t position = 0;   // where the next read starts
  uint64_t remaining = 0;  // bytes of the data chunk not yet read

  size_t read(uint8_t* buffer, size_t want) {
    size_t got = file.readAt(position, buffer, static_cast<size_t>(std::min<uint64_t>(want, remaining)));
    position += got;
    remaining -= got;
    return got;
  }
};

// An output WAV file: RIFF "WAVE" with an 18-byte "fmt " chunk and a "data" chunk. Its writer refers to
// its file, so it stays where it was made.
struct Output {
  explicit Output(BinaryFile&& made) : file(std::move(made)), writer(file) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  BinaryFile file;
  Writer writer;
  OpenChunk form;
  std::optional<OpenChunk> data;

  bool writeHeader() {
    static const uint8_t kFormat[18] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
    std::optional<OpenChunk> riff = writer.createForm(kRiff, kWave);
    if (!riff) return false;
    form = *riff;
    std::optional<OpenChunk> fmt = writer.create(fourCC("fmt "));
    return fmt && writer.write(kFormat, sizeof kFormat) && writer.ascend(*fmt);
  }
  bool openData() {
    data = writer.create(fourCC("data"));
    return data.has_value();
  }
  bool finish() { return data && writer.ascend(*data) && writer.ascend(form); }
};

std::optional<Source> openSource(const std::string& path) {
  std::optional<BinaryFile> file = BinaryFile::open(platform::hostPath(path), BinaryFile::Mode::Read);
  if (!file) return std::nullopt;
  return Source{std::move(*file)};
}

// Finds the source's "data" chunk inside its RIFF "WAVE" form; 0, or the crossFader code of what failed.
int32_t findData(Source& source) {
  Reader reader(source.file);
  std::optional<Chunk> form = reader.find(nullptr, kRiff, kWave);
  if (!form) return kNotWave;
  std::optional<Chunk> data = reader.find(&*form, fourCC("data"));
  if (!data) return kNoDataOrRiff;
  source.dataSize = data->size;
  source.position = data->dataOffset;
  source.remaining = data->size;
  return 0;
}

std::unique_ptr<Output> createOutput(const std::string& path) {
  std::optional<BinaryFile> file = BinaryFile::open(platform::hostPath(path), BinaryFile::Mode::Create);
  if (!file) return nullptr;
  return std::make_unique<Output>(std::move(*file));
}

// Copies count bytes of the source's data to the output; stops early when the source gives nothing.
void blockCopy(Source& source, Output& output, uint64_t count) {
  count = std::min(count, source.remaining);
  uint64_t copied = output.writer.copy(source.file, source.position, count);
  source.position += copied;
  source.remaining -= copied;
}

// Gains of the two files, stepped once per stereo frame.
struct Gains {
  int64_t divisor = 0;
  int64_t accCur = 0;
  int64_t accNext = 0;
  int64_t stepCur = 0;
  int64_t stepNext = 0;

  static Gains forKind(uint32_t kind, int64_t b) {
    Gains g;
    g.divisor = b;
    g.accCur = b;
    g.accNext = kind == kOverlap || kind == kFadeOut ? b : 0;
    g.stepCur = kind == kOverlap || kind == kFadeIn ? 0 : -4;
    g.stepNext = kind == kOverlap || kind == kFadeOut ? 0 : 4;
    return g;
  }
  // A zone with nothing to divide by (an empty next file) has no gain.
  double gain(int64_t acc) const { return divisor != 0 ? static_cast<double>(acc) / static_cast<double>(divisor) : 0.0; }
};

int16_t sampleAt(const uint8_t* p) { return static_cast<int16_t>(common::readLe16(p)); }

// Truncated toward zero, then clipped to 16 bits.
int16_t mixedSample(int16_t next, double gn, int16_t current, double gc) {
  double value = next * gn + current * gc;
  if (!(value > -32768.0)) return value != value ? 0 : -32768;
  if (value >= 32767.0) return 32767;
  return static_cast<int16_t>(std::trunc(value));
}

// Mixes count bytes of whole samples; a last odd byte is silence.
void mixBlock(const uint8_t* current, const uint8_t* next, uint8_t* out, size_t count, Gains& gains) {
  size_t samples = count / 2;
  for (size_t s = 0; s < samples; s += 2) {
    double gc = gains.gain(gains.accCur);
    double gn = gains.gain(gains.accNext);
    for (size_t i = s; i < std::min(s + 2, samples); ++i)
      common::writeLe16(out + 2 * i,
                        static_cast<uint16_t>(mixedSample(sampleAt(next + 2 * i), gn, sampleAt(current + 2 * i), gc)));
    gains.accCur += gains.stepCur;
    gains.accNext += gains.stepNext;
  }
  if (count % 2 != 0) out[count - 1] = 0;
}

struct Buffers {
  std::vector<uint8_t> current, next, mixed;
  bool allocate() {
    try {
      current.resize(kBlock + 512);
      next.resize(kBlock + 512);
      mixed.resize(kBlock + 512);
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
};

// The byte counts of one transition: the zone b, its part n that ends the current output, the rest t.
struct Zone {
  uint64_t b = 0;
  uint64_t n = 0;
  uint64_t t = 0;
};

Zone zoneOf(const FadeEntry& entry, uint64_t remaining) {
  double length = std::max(0.0, std::trunc(entry.fadeLength * kBytesPerMillisecond));
  Zone zone;
  zone.b = length >= static_cast<double>(remaining) ? remaining : static_cast<uint64_t>(length);
  double overlap = std::clamp<double>(entry.fadeOverlap, 0, 1000);
  zone.n = std::min(zone.b, static_cast<uint64_t>(std::trunc(overlap * static_cast<double>(zone.b) * 0.001)));
  zone.t = zone.b - zone.n;
  return zone;
}

class Fader {
 public:
  FadeEntry* add(const char* source, const char* target, int32_t length, int32_t overlap, uint32_t kind) {
    auto entry = std::make_unique<FadeEntry>();
    entry->source = source != nullptr ? source : "";
    entry->target = target != nullptr ? target : "";
    entry->fadeLength = length;
    entry->fadeOverlap = overlap;
    entry->fadeKind = kind;
    if (!chain_.empty()) chain_.back()->next = entry.get();
    chain_.push_back(std::move(entry));
    return chain_.back().get();
  }

  int32_t start() {
    closeFiles();
    if (chain_.empty()) return kEmptyChain;
    if (!everyEntryHasItsOwnTarget()) {
      closeAll();
      return kBadEntry;
    }
    current_ = chain_.front().get();
    currentSource_ = openSource(current_->source);
    if (!currentSource_) return kSourceNotOpened;
    currentOutput_ = createOutput(current_->target);
    if (!currentOutput_) return fail(kOutputNotCreated);
    Reader probe(currentSource_->file);
    if (!probe.find(nullptr, kRiff, kWave)) return fail(kNotWave);
    if (!currentOutput_->writeHeader()) return fail(kNoDataOrRiff);
    if (findData(*currentSource_) != 0 || !currentOutput_->openData()) return fail(kNoDataOrRiff);
    return kReady;
  }

  int32_t step() {
    if (current_ == nullptr || !currentSource_ || !currentOutput_) return finish();
    if (current_->next == nullptr) {
      blockCopy(*currentSource_, *currentOutput_, currentSource_->remaining);
      currentOutput_->finish();
      return finish();
    }
    return transition() ? kStepped : finish();
  }

  void closeAll() {
    closeFiles();
    current_ = nullptr;
    chain_.clear();
  }

 private:
  int32_t fail(int32_t code) {
    closeAll();
    return code;
  }
  int32_t finish() {
    closeAll();
    return kFinished;
  }
  void closeFiles() {
    currentSource_.reset();
    currentOutput_.reset();
    nextSource_.reset();
    nextOutput_.reset();
  }

  // An entry without a target would have its mix written over its source; a target that names any source
  // would destroy it. Both are refused before any file is touched.
  bool everyEntryHasItsOwnTarget() const {
    std::set<std::pair<dev_t, ino_t>> sources;
    for (const auto& entry : chain_) {
      if (entry->target.empty()) return false;
      struct stat info {};
      if (::stat(platform::hostPath(entry->source).c_str(), &info) == 0) sources.insert({info.st_dev, info.st_ino});
    }
    for (const auto& entry : chain_) {
      struct stat info {};
      if (::stat(platform::hostPath(entry->target).c_str(), &info) == 0 && sources.count({info.st_dev, info.st_ino}) != 0)
        return false;
    }
    return true;
  }

  bool openNext(const FadeEntry& entry) {
    nextSource_ = openSource(entry.source);
    if (!nextSource_ || findData(*nextSource_) != 0) return false;
    nextOutput_ = createOutput(entry.target);
    return nextOutput_ && nextOutput_->writeHeader();
  }

  bool transition() {
    const FadeEntry& entry = *current_;
    Source& source = *currentSource_;
    Zone zone = zoneOf(entry, source.remaining);
    bool pause = entry.fadeKind == kPause;
    blockCopy(source, *currentOutput_, pause ? source.remaining : source.remaining - zone.b);

    current_ = entry.next;
    if (!openNext(*current_)) return false;
    // A next file shorter than the zone sets the pace of the gains.
    int64_t divisor = static_cast<int64_t>(std::min(zone.b, nextSource_->dataSize));
    Buffers buffers;
    if (!buffers.allocate()) return false;
    Gains gains = Gains::forKind(entry.fadeKind, divisor);

    if (pause) {
      if (!writeSilence(*currentOutput_, static_cast<uint64_t>(divisor))) return false;
    } else if (zone.n > 0 && !mixPhase(zone.n, *currentOutput_, buffers, gains, true)) {
      return false;
    }
    if (!nextOutput_->openData()) return false;
    if (!pause && zone.t > 0 && !mixPhase(zone.t, *nextOutput_, buffers, gains, false)) return false;

    bool finished = currentOutput_->finish();
    currentSource_ = std::move(nextSource_);
    currentOutput_ = std::move(nextOutput_);
    nextSource_.reset();
    nextOutput_.reset();
    return finished;
  }

  // Whole blocks until the phase counter reaches its length. The first phase writes what the current
  // file gave, with silence where the next file had nothing left; the second writes what the next gave.
  bool mixPhase(uint64_t length, Output& output, Buffers& buffers, Gains& gains, bool first) {
    uint64_t counter = 0;
    do {
      size_t k = currentSource_->read(buffers.current.data(), kBlock);
      size_t kNext = nextSource_->read(buffers.next.data(), k);
      std::fill(buffers.next.begin() + static_cast<ptrdiff_t>(kNext), buffers.next.begin() + static_cast<ptrdiff_t>(k), 0);
      size_t count = first ? k : kNext;
      mixBlock(buffers.current.data(), buffers.next.data(), buffers.mixed.data(), count, gains);
      if (!output.writer.write(buffers.mixed.data(), count)) return false;
      counter += kBlock;
    } while (counter < length);
    return true;
  }

  static bool writeSilence(Output& output, uint64_t bytes) {
    static const uint8_t kZeros[kBlock] = {};
    uint64_t frames = (bytes + 3) / 4;
    for (uint64_t left = frames * 4; left > 0;) {
      size_t step = static_cast<size_t>(std::min<uint64_t>(left, kBlock));
      if (!output.writer.write(kZeros, step)) return false;
      left -= step;
    }
    return true;
  }

  std::vector<std::unique_ptr<FadeEntry>> chain_;
  FadeEntry* current_ = nullptr;
  std::optional<Source> currentSource_;
  std::unique_ptr<Output> currentOutput_;
  std::optional<Source> nextSource_;
  std::unique_ptr<Output> nextOutput_;
};

Fader& fader() {
  static Fader instance;
  return instance;
}

}  // namespace

void* add(const char* source, const char* target, int32_t length, int32_t overlap, uint32_t kind) {
  return fader().add(source, target, length, overlap, kind);
}
int32_t start() { return fader().start(); }
int32_t step() { return fader().step(); }
void closeAll() { fader().closeAll(); }

}  // namespace fad
