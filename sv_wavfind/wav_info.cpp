// Reading and rewriting the LIST/INFO texts of WAV files.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/binary_file.h"
#include "common/riff.h"
#include "platform/paths.h"
#include "sv_wavfind/sv_wavfind.h"

namespace wavfind {
namespace {

namespace fs = std::filesystem;
using common::BinaryFile;
using namespace common::riff;

constexpr FourCC kWave = fourCC("WAVE");
constexpr FourCC kInfo = fourCC("INFO");
constexpr FourCC kFmt = fourCC("fmt ");
constexpr FourCC kData = fourCC("data");

// The INFO texts a record carries: where each sits in the record and how much of a chunk it takes.
struct InfoText {
  FourCC id;
  int slot;
  size_t loadLimit;
};
constexpr std::array<InfoText, 6> kInfoTexts = {{
    {fourCC("INAM"), kTitle, kSlotSize},
    {fourCC("IART"), kArtist, kSlotSize},
    {fourCC("ICMT"), kComment, 2 * kSlotSize},
    {fourCC("IGNR"), kGenre, kSlotSize},
    {fourCC("ISRC"), kSource, kSlotSize},
    {fourCC("ICRD"), kDate, 4},  // only the year
}};

const InfoText* infoTextFor(FourCC id) {
  for (const InfoText& text : kInfoTexts)
    if (text.id == id) return &text;
  return nullptr;
}

// The chunk id each written slot gets; the comment's second half is a second ICMT.
FourCC idOfSlot(int slot) {
  if (slot == kCommentTail) return fourCC("ICMT");
  for (const InfoText& text : kInfoTexts)
    if (text.slot == slot) return text.id;
  return 0;
}

struct FormatRecord {
  uint16_t tag = 0;
  uint16_t channels = 0;
  uint32_t samplesPerSecond = 0;
  uint32_t bytesPerSecond = 0;
};

// Fields a "fmt " chunk shorter than 16 bytes does not hold count as 0.
FormatRecord parseFormat(const uint8_t (&raw)[16]) {
  return {common::readLe16(raw), common::readLe16(raw + 2), common::readLe32(raw + 4), common::readLe32(raw + 8)};
}

const char* formatName(uint16_t tag) {
  switch (tag) {
    case 1: return "PCM AUDIO";
    case 2: return "Microsoft ADPCM";
    case 3: return "Float WAVE";
    case 5: return "IBM WAVE";
    case 16: return "OKI ADPCM";
    case 17: return "Intel ADPCM";
    case 18: return "Videologic ADPCM";
    case 19: return "Sierra ADPCM";
    case 32: return "Yamaha ADPCM";
    case 80: return "MPEG Audio";
    case 85: return "ISO/MPEG Layer3 Audio";
    case 512: return "Creative Labs ADPCM";
    default: return "unkown WAVE-Format";
  }
}

std::string channelText(uint16_t channels) {
  switch (channels) {
    case 1: return "Mono";
    case 2: return "Stereo";
    case 4: return "Quadro";
    default: return std::to_string(channels) + " channels";
  }
}

// Numbers are shown as the system's "%d" shows a 32-bit value.
std::string decimal(uint32_t value) { return std::to_string(static_cast<int32_t>(value)); }

void putSlot(char* record, int slot, const std::string& text) {
  std::memcpy(record + slotOffset(slot), text.data(), std::min(text.size(), kSlotSize));
}

void loadInfoList(Reader& reader, const Chunk& info, char* record) {
  while (std::optional<Chunk> sub = reader.descend(&info)) {
    if (const InfoText* text = infoTextFor(sub->id)) {
      // The chunk's bytes as they are, its own NUL included; the caller's NULs end the text.
      reader.read(*sub, record + slotOffset(text->slot), text->loadLimit);
    }
    reader.ascend(*sub);
  }
}

// A slot's text runs to its first NUL, on into the following slots when its own has none, but never
// past the record.
std::string_view slotText(const char* record, int slot) {
  size_t offset = slotOffset(slot);
  const char* text = record + offset;
  return {text, ::strnlen(text, kRecordSize - offset)};
}

class InfoRewriter {
 public:
  InfoRewriter(Reader& reader, const BinaryFile& given, Writer& writer, const char* record)
      : reader_(reader), given_(given), writer_(writer), record_(record) {}

  bool rewriteForm(const Chunk& form) {
    std::optional<OpenChunk> out = writer_.createForm(kRiff, kWave);
    if (!out) return false;
    bool hadInfo = false;
    while (std::optional<Chunk> chunk = reader_.descend(&form)) {
      bool isInfo = chunk->id == kList && chunk->type == kInfo;
      if (!(isInfo ? rewriteInfo(*chunk) : copyChunk(*chunk))) return false;
      hadInfo = hadInfo || isInfo;
      reader_.ascend(*chunk);
    }
    if (!hadInfo && !appendInfo()) return false;
    return writer_.ascend(*out) && copyTail(form);
  }

 private:
  bool rewriteInfo(const Chunk& info) {
    std::optional<OpenChunk> out = writer_.createForm(kList, kInfo);
    if (!out) return false;
    while (std::optional<Chunk> sub = reader_.descend(&info)) {
      const InfoText* text = infoTextFor(sub->id);
      if (!(text != nullptr ? writeSlot(text->slot) : copyChunk(*sub))) return false;
      if (text != nullptr && text->slot == kComment) written_[kCommentTail] = true;
      reader_.ascend(*sub);
    }
    return writeUnwrittenSlots() && writer_.ascend(*out);
  }

  bool appendInfo() {
    std::optional<OpenChunk> out = writer_.createForm(kList, kInfo);
    return out && writeUnwrittenSlots() && writer_.ascend(*out);
  }

  bool writeUnwrittenSlots() {
    for (int slot = kTitle; slot <= kDate; ++slot)
      if (!written_[slot] && !writeSlot(slot)) return false;
    return true;
  }

  bool writeSlot(int slot) {
    written_[slot] = true;
    return writer_.writeChunk(idOfSlot(slot), slotText(record_, slot));
  }

  // Whatever follows the form (a tag appended to the file, data a short size field left outside) stays.
  bool copyTail(const Chunk& form) {
    uint64_t tail = given_.size() - form.end();
    return writer_.copy(given_, form.end(), tail) == tail;
  }

  // The chunk as it is: id, data, pad byte. Its size is what the file really holds.
  bool copyChunk(const Chunk& chunk) {
    std::optional<OpenChunk> out = writer_.create(chunk.id, chunk.declaredSize);
    return out && writer_.copy(given_, chunk.dataOffset, chunk.size) == chunk.size && writer_.ascend(*out);
  }

  Reader& reader_;
  const BinaryFile& given_;
  Writer& writer_;
  const char* record_;
  bool written_[kDate + 1] = {};
};

// The file a path names; a link is followed so that the link stays and the file it names is replaced.
fs::path fileBehind(const fs::path& host) {
  std::error_code ec;
  if (!fs::is_symlink(host, ec)) return host;
  fs::path target = fs::canonical(host, ec);
  return ec ? fs::path() : target;
}

bool isWritableFile(const BinaryFile& file, mode_t& mode) {
  struct stat info {};
  if (::fstat(file.descriptor(), &info) != 0) return false;
  mode = info.st_mode & 07777;
  return (info.st_mode & S_IWUSR) != 0;
}

// The working file: beside the given file, so the final rename stays on one file system and replaces the
// given file in one step; removed again unless it took the given file's place.
class WorkingFile {
 public:
  explicit WorkingFile(const fs::path& beside) {
    file_ = BinaryFile::createUnique(beside.parent_path(), ".~sv_temp.", path_);
  }
  ~WorkingFile() {
    file_.reset();
    std::error_code ec;
    if (!committed_ && !path_.empty()) fs::remove(path_, ec);
  }
  WorkingFile(const WorkingFile&) = delete;
  WorkingFile& operator=(const WorkingFile&) = delete;

  BinaryFile* file() { return file_ ? &*file_ : nullptr; }

  bool replace(const fs::path& target, mode_t mode) {
    if (::fchmod(file_->descriptor(), mode) != 0 || !file_->flush()) return false;
    file_->close();
    committed_ = std::rename(path_.c_str(), target.c_str()) == 0;
    return committed_;
  }

 private:
  std::optional<BinaryFile> file_;
  fs::path path_;
  bool committed_ = false;
};

}  // namespace

bool loadInfo(const char* path, char* record) {
  if (path == nullptr || record == nullptr) return false;
  std::optional<BinaryFile> file = BinaryFile::open(platform::hostPath(path), BinaryFile::Mode::Read);
  if (!file) return false;
  Reader reader(*file);
  std::optional<Chunk> form = reader.find(nullptr, kRiff, kWave);
  std::optional<Chunk> fmt = form ? reader.find(&*form, kFmt) : std::nullopt;
  if (!fmt || !fmt->complete()) return false;
  uint8_t raw[16] = {};
  reader.read(*fmt, raw, sizeof raw);
  FormatRecord format = parseFormat(raw);
  putSlot(record, kFormatName, formatName(format.tag));
  putSlot(record, kChannels, channelText(format.channels));
  putSlot(record, kSampleRate, decimal(format.samplesPerSecond));
  reader.ascend(*fmt);

  if (std::optional<Chunk> data = reader.find(&*form, kData)) {
    // Without bytes per second there is no length to tell: it reads 0.
    uint64_t seconds = format.bytesPerSecond != 0 ? data->size / format.bytesPerSecond : 0;
    putSlot(record, kSeconds, decimal(static_cast<uint32_t>(seconds)));
    reader.ascend(*data);
  }
  if (std::optional<Chunk> info = reader.find(&*form, kList, kInfo)) loadInfoList(reader, *info, record);
  return true;
}

bool saveInfo(const char* path, const char* record) {
  if (path == nullptr || record == nullptr) return false;
  fs::path host = fileBehind(platform::hostPath(path));
  std::optional<BinaryFile> given = BinaryFile::open(host, BinaryFile::Mode::Read);
  mode_t mode = 0;
  if (!given || !isWritableFile(*given, mode)) return false;
  Reader reader(*given);
  std::optional<Chunk> form = reader.find(nullptr, kRiff, kWave);
  if (!form) return false;

  WorkingFile working(host);
  if (working.file() == nullptr) return false;
  Writer writer(*working.file());
  InfoRewriter rewriter(reader, *given, writer, record);
  return rewriter.rewriteForm(*form) && working.replace(host, mode);
}

}  // namespace wavfind
