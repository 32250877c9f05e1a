#include "sv_taginfo/tag_control.h"

#include <cmath>
#include <optional>

#include "common/basic.h"
#include "common/binary_file.h"
#include "common/text.h"
#include "outside/eclient/eclient.h"
#include "platform/paths.h"
#include "sv_wavfind/sv_wavfind.h"

namespace taginfo {
namespace {

constexpr char kMarker[] = "$%$";
constexpr size_t kId3v1Size = 128;
// The first item of a text input ends at a comma or a line end; no kind test needs more than this much.
constexpr size_t kLongestItem = 1 << 20;

// A number as the suite converts a text: blanks around it, a sign, digits and a fractional part rounded
// half to even. Anything else does not convert.
std::optional<long long> wholeNumber(std::string_view text) {
  text = common::trimBlanks(text);
  size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  size_t digits = 0, point = 0;
  for (size_t k = i; k < text.size(); ++k) {
    if (text[k] >= '0' && text[k] <= '9') {
      ++digits;
    } else if (text[k] == '.' && point == 0) {
      ++point;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || digits > 15) return std::nullopt;
  std::optional<int32_t> value = common::roundToInt32(common::leadingNumber(text));
  if (!value) return std::nullopt;
  return *value;
}

bool flagOf(std::string_view text) {
  if (common::equalsNoCase(common::trimBlanks(text), "true")) return true;
  return wholeNumber(text).value_or(0) != 0;
}

// Zero counts as unknown for the technical numbers.
std::string positive(long long value) { return value != 0 ? std::to_string(value) : std::string(); }
std::string yesNo(bool value) { return value ? "yes" : "no"; }

// A text cut to its slot or padded with fill on the right.
std::string fitted(std::string_view text, size_t length, char fill) {
  std::string out(text.substr(0, length));
  out.resize(length, fill);
  return out;
}

// The genre byte of a tag: a marker or a text that is no number counts as 0, a number past a byte as
// "no genre" (255).
int genreByte(const std::string& text) {
  long long genre = wholeNumber(text).value_or(0);
  return genre >= 0 && genre <= 255 ? static_cast<int>(genre) : 255;
}

// The first item of the file read as text the way an input statement reads it: up to a comma or a line
// end, or between double quotes when it starts with one.
std::string firstItem(const std::string& path) {
  std::optional<common::BinaryFile> file = common::BinaryFile::open(platform::hostPath(path), common::BinaryFile::Mode::Read);
  if (!file) return {};
  std::string item;
  char block[4096];
  bool started = false, quoted = false;
  for (uint64_t offset = 0; item.size() < kLongestItem;) {
    size_t got = file->readAt(offset, block, sizeof block);
    if (got == 0) break;
    offset += got;
    for (size_t i = 0; i < got; ++i) {
      char c = block[i];
      if (!started) {
        if (c == ' ' || c == '\t') continue;
        started = true;
        if (c == '"') {
          quoted = true;
          continue;
        }
      }
      if (quoted ? c == '"' : (c == ',' || c == '\r' || c == '\n')) return item;
      item += c;
    }
  }
  return item;
}

}  // namespace

FileKind fileKind(const std::string& path) {
  std::string item = firstItem(path);
  if (common::findNoCase(item, "riff") != std::string::npos) return FileKind::Wav;
  if (common::findNoCase(item, "ID3") != std::string::npos) return FileKind::Id3v2Mp3;
  if (common::endsWithNoCase(path, "mp3")) return FileKind::PlainMp3;
  return FileKind::Other;
}

std::string cleanPath(std::string path) {
  for (size_t at = path.find("\\\\"); at != std::string::npos; at = path.find("\\\\")) path.erase(at, 1);
  return path;
}

TagControl::TagControl() {
  engine_.load("wavedesk");
  registerMethods();
}

void TagControl::publish(const Values& values) {
  for (const auto& [variable, value] : values) {
    // A text goes to the engine up to its first NUL; an empty one as the marker.
    std::string_view text = common::cutAtNul(value);
    engine_.setVar(typ(), name(), variable, text.empty() ? std::string(kMarker) : std::string(text));
  }
}

std::string TagControl::readBack(const char* variable) {
  std::string value = engine_.getVar(typ(), name(), variable);
  return common::equalsNoCase(value, kMarker) ? std::string() : value;
}

void TagControl::parseFile(const std::string& path) {
  switch (fileKind(path)) {
    case FileKind::Wav: return readWav(path);
    case FileKind::Id3v2Mp3: return readId3v2Mp3(path);
    case FileKind::PlainMp3: return readPlainMp3(path);
    case FileKind::Other: return;
  }
}

void TagControl::saveFile(const std::string& path) {
  switch (fileKind(path)) {
    case FileKind::Wav: return writeWav(path);
    case FileKind::Id3v2Mp3: return writeId3v2Mp3(path);
    case FileKind::PlainMp3: return writePlainMp3(path);
    case FileKind::Other: return;
  }
}

void TagControl::readWav(const std::string& path) {
  std::string record(wavfind::kRecordSize, '\0');
  wavfind_.call<bool(const char*, char*)>("wavInfoLoad", path.c_str(), record.data());
  auto field = [&](int slot, size_t length = wavfind::kSlotSize) {
    return std::string(common::cutAtNul(std::string_view(record).substr(wavfind::slotOffset(slot), length)));
  };
  double seconds = common::leadingNumber(field(wavfind::kSeconds));
  int64_t duration = std::fabs(seconds) < 1e15 ? static_cast<int64_t>(seconds) : 0;
  publish({{"Taginfo.Limit", "False"},
           {"TagInfo.File", path},
           {"TagInfo.Title", field(wavfind::kTitle)},
           {"TagInfo.Artist", field(wavfind::kArtist)},
           {"TagInfo.Album", field(wavfind::kSource)},
           {"TagInfo.Year", field(wavfind::kDate)},
           {"TagInfo.Comment", field(wavfind::kComment, 2 * wavfind::kSlotSize)},
           {"TagInfo.Genre", std::to_string(genreNumber(field(wavfind::kGenre)))},
           {"TagInfo.Frequency", field(wavfind::kSampleRate)},
           {"TagInfo.Mode", ""},
           {"TagInfo.Emphasis", ""},
           {"TagInfo.Bitrate", ""},
           {"TagInfo.MpegVersion", ""},
           {"TagInfo.MpegLayer", ""},
           {"TagInfo.Padding", ""},
           {"TagInfo.CRC", ""},
           {"TagInfo.Duration", duration != 0 ? durationText(duration) : ""},
           {"TagInfo.Kanalzahl", field(wavfind::kChannels)},
           {"TagInfo.Codierung", field(wavfind::kFormatName)},
           {"TagInfo.CopyRight", ""},
           {"TagInfo.Original", ""},
           {"TagInfo.PrivateBit", ""},
           {"TagInfo.HasTag", ""},
           {"TagInfo.Track", ""},
           {"TagInfo.Tag", ""},
           {"TagInfo.VBR", ""},
           {"TagInfo.Frame", ""}});
}

void TagControl::readId3v2Mp3(const std::string& path) {
  analysis_ = analyseFile(path);
  const Analysis& a = analysis_;
  // Without a frame start there are no technical values: every one of them is unknown.
  auto mpeg = [&](std::string value) { return a.frameFound ? value : std::string(); };
  publish({{"Taginfo.Limit", "True"},
           {"TagInfo.File", path},
           {"TagInfo.Title", a.title},
           {"TagInfo.Artist", a.artist},
           {"TagInfo.Album", a.album},
           {"TagInfo.Year", a.year},
           {"TagInfo.Comment", a.comment},
           {"TagInfo.Genre", positive(a.genre)},
           {"TagInfo.Frequency", mpeg(positive(a.sampleRate))},
           {"TagInfo.Mode", mpeg(a.mode)},
           {"TagInfo.Emphasis", mpeg(a.emphasis)},
           {"TagInfo.Bitrate", mpeg(positive(a.bitrate))},
           {"TagInfo.MpegVersion", mpeg(positive(a.version))},
           {"TagInfo.MpegLayer", mpeg(positive(a.layer))},
           {"TagInfo.Padding", mpeg(a.padding)},
           {"TagInfo.CRC", mpeg(a.crc)},
           {"TagInfo.Duration", mpeg(a.duration != 0 ? durationText(a.duration) : "")},
           {"TagInfo.CopyRight", mpeg(a.copyright)},
           {"TagInfo.Original", mpeg(a.original)},
           {"TagInfo.PrivateBit", mpeg(a.privateBit)},
           {"TagInfo.HasTag", yesNo(a.hasTag)},
           {"TagInfo.Track", a.track},
           {"TagInfo.Tag", ""},
           {"TagInfo.VBR", mpeg(a.vbr ? "True" : "False")},
           {"TagInfo.Frame", mpeg(positive(a.frameCount))},
           {"TagInfo.Kanalzahl", ""},
           {"TagInfo.Codierung", ""}});
}

void TagControl::readPlainMp3(const std::string& path) {
  std::string tag(kId3v1Size, ' ');
  mp3find_.call<int32_t(const char*, char*)>("MP3InfoLoad", path.c_str(), tag.data());
  auto field = [&](size_t offset, size_t length) {
    return std::string(common::trimBlanks(common::cutAtNul(std::string_view(tag).substr(offset, length))));
  };
  Values values = {{"Taginfo.Limit", "True"},
                   {"TagInfo.File", path},
                   {"TagInfo.Title", field(3, 30)},
                   {"TagInfo.Artist", field(33, 30)},
                   {"TagInfo.Album", field(63, 30)},
                   {"TagInfo.Year", field(93, 4)},
                   {"TagInfo.Comment", field(97, 30)},
                   {"TagInfo.Genre", std::to_string(static_cast<uint8_t>(tag[127]))}};
  for (const char* unknown : {"TagInfo.Frequency", "TagInfo.Mode", "TagInfo.Emphasis", "TagInfo.Bitrate",
                              "TagInfo.MpegVersion", "TagInfo.MpegLayer", "TagInfo.Padding", "TagInfo.CRC",
                              "TagInfo.Duration", "TagInfo.CopyRight", "TagInfo.Original", "TagInfo.PrivateBit",
                              "TagInfo.HasTag", "TagInfo.Track", "TagInfo.Tag", "TagInfo.VBR", "TagInfo.Frame",
                              "TagInfo.Kanalzahl", "TagInfo.Codierung"})
    values.emplace_back(unknown, "");
  publish(values);
}

void TagControl::writeWav(const std::string& path) {
  std::string seconds = std::to_string(durationSeconds(readBack("TagInfo.Duration")));
  std::string genreText = readBack("TagInfo.Genre");
  std::optional<long long> genre = wholeNumber(genreText);
  // Every text is cut one short of its slot, so that a NUL always ends it inside the slot.
  auto text = [&](const char* variable, size_t slot) { return fitted(readBack(variable).substr(0, slot - 1), slot, '\0'); };
  auto shown = [&](const std::string& value) { return fitted(value, wavfind::kSlotSize, ' '); };
  std::string record = shown(readBack("TagInfo.Codierung")) + shown(readBack("TagInfo.Kanalzahl")) +
                       shown(readBack("TagInfo.Frequency")) + shown(seconds) +
                       text("TagInfo.Title", wavfind::kSlotSize) + text("TagInfo.Artist", wavfind::kSlotSize) +
                       text("TagInfo.Comment", 2 * wavfind::kSlotSize) +
                       fitted(genre ? std::string(genreString(*genre)).substr(0, wavfind::kSlotSize - 1) : "",
                              wavfind::kSlotSize, '\0') +
                       text("TagInfo.Album", wavfind::kSlotSize) + text("TagInfo.Year", wavfind::kSlotSize);
  wavfind_.call<bool(const char*, const char*)>("wavInfoSave", path.c_str(), record.c_str());
}

void TagControl::writeId3v2Mp3(const std::string& path) {
  analysis_.title = readBack("TagInfo.Title");
  analysis_.artist = readBack("TagInfo.Artist");
  analysis_.album = readBack("TagInfo.Album");
  analysis_.year = readBack("TagInfo.Year");
  analysis_.comment = readBack("TagInfo.Comment");
  analysis_.genre = genreByte(readBack("TagInfo.Genre"));
  analysis_.track = readBack("TagInfo.Track");
  uint8_t track = analysis_.track.empty() ? 0 : static_cast<uint8_t>(analysis_.track[0]);
  writeTag(path, analysis_.title, analysis_.artist, analysis_.album, analysis_.year, analysis_.comment,
           analysis_.genre, track);
}

void TagControl::writePlainMp3(const std::string& path) {
  std::string tag = "TAG" + fitted(readBack("TagInfo.Title"), 30, ' ') + fitted(readBack("TagInfo.Artist"), 30, ' ') +
                    fitted(readBack("TagInfo.Album"), 30, ' ') + fitted(readBack("TagInfo.Year"), 4, ' ') +
                    fitted(readBack("TagInfo.Comment"), 30, ' ');
  tag += static_cast<char>(genreByte(readBack("TagInfo.Genre")));
  mp3find_.call<int32_t(const char*, const char*)>("MP3InfoSave", path.c_str(), tag.c_str());
}

void TagControl::publishGenre(const std::string& number) {
  std::optional<long long> genre = wholeNumber(number);
  if (genre) publish({{"GetGenre", std::string(genreString(*genre))}});
}

void TagControl::registerMethods() {
  using Arguments = std::vector<std::string>;
  auto argument = [](Arguments& arguments, size_t index) -> std::string& {
    if (arguments.size() <= index) arguments.resize(index + 1);
    return arguments[index];
  };
  addMethod("onParseFile", [this](std::string& value) { parseFile(cleanPath(value)); });
  addMethod("onSaveFile", [this](std::string& value) { saveFile(cleanPath(value)); });
  addMethod("onReadinfo", Method([this, argument](Arguments& arguments) {
              parseFile(argument(arguments, 0));
              return std::optional<std::string>("");
            }));
  addMethod("onWriteinfo", Method([this, argument](Arguments& arguments) {
              saveFile(argument(arguments, 0));
              return std::optional<std::string>("");
            }));
  addMethod("onGetGenre", [this](std::string& value) { publishGenre(value); });
  addMethod("onEngine", [](std::string& value) { (void)(value == "new"); });
  addMethod("onResize", [](std::string&) {});
  addMethod("onVisible", [](std::string&) {});
  addMethod("readtaginfo1", [this](std::string& path) { readWav(path); });
  addMethod("writetaginfo1", [this](std::string& path) { writeWav(path); });
  addMethod("writetaginfo2", [this](std::string& path) { writeId3v2Mp3(path); });
  addMethod("readtaginfo3", [this](std::string& path) { readPlainMp3(path); });
  addMethod("writetaginfo3", [this](std::string& path) { writePlainMp3(path); });

  addMethod("BinaryHeader", Method([this, argument](Arguments& arguments) {
              analysis_ = Analysis();
              std::string path = argument(arguments, 0);
              return std::optional<std::string>(
                  binaryHeader(path, flagOf(argument(arguments, 1)), flagOf(argument(arguments, 2)), analysis_));
            }));
  addMethod("ByteToBit", Method([argument](Arguments& arguments) {
              return std::optional<std::string>(byteToBit(argument(arguments, 0)));
            }));
  addMethod("BinToDec", Method([argument](Arguments& arguments) {
              return std::optional<std::string>(std::to_string(binToDec(argument(arguments, 0))));
            }));
  addMethod("WriteTag", Method([argument](Arguments& arguments) {
              argument(arguments, 6);
              writeTag(arguments[0], arguments[1], arguments[2], arguments[3], arguments[4], arguments[5],
                       genreByte(arguments[6]));
              return std::optional<std::string>();
            }));
  addMethod("GetGenreNummer", Method([argument](Arguments& arguments) {
              return std::optional<std::string>(std::to_string(genreNumber(argument(arguments, 0))));
            }));
  addMethod("GetGenrestring", Method([argument](Arguments& arguments) {
              std::optional<long long> number = wholeNumber(argument(arguments, 0));
              return std::optional<std::string>(number ? std::string(genreString(*number)) : std::string());
            }));
}

}  // namespace taginfo
