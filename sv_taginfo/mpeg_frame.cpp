#include "sv_taginfo/mpeg_frame.h"

#include <cmath>
#include <optional>

#include "common/basic.h"
#include "common/binary_file.h"
#include "common/text.h"
#include "platform/paths.h"

namespace taginfo {
namespace {

using common::BinaryFile;

constexpr uint64_t kShortestFile = 256;
constexpr size_t kFrameSearchBytes = 5000;
constexpr size_t kTagBytes = 128;

constexpr std::array<std::string_view, kGenreCount> kGenres = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip -Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&b", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro -Techno", "Ambient", "Trip -Hop",
    "Vocal", "Jazz Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game",
    "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative",
    "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno -Industrial",
    "Electronic", "Pop -Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40",
    "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave",
    "Showtunes", "Trailer", "Lo -Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical",
    "Rock & Roll", "Hard Rock", "Folk", "Folk/Rock", "National Folk", "Swing", "", "Bebob", "Latin",
    "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech",
    "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove",
    "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul",
    "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A Cappella", "Euro - House", "Dance Hall", "Goa",
    "Drum & Bass", "Club - House", "Hardcore", "Terror", "Indie", "BritPop", "", "", "Beat",
    "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian",
    "Christian Rock", "Merengue", "Salsa", "Thrash Metal", "Anime", "JPop", "Synthpop"};

constexpr int kLayer3Bitrates[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

std::optional<BinaryFile> openFile(const std::string& path, BinaryFile::Mode mode) {
  return BinaryFile::open(platform::hostPath(path), mode);
}

// A field of a fixed-layout block as a text: up to its first NUL, trailing blanks removed. A field
// that lies partly or wholly past the block's end gives what is there.
std::string blockText(std::string_view block, size_t offset, size_t length) {
  if (offset >= block.size()) return {};
  return std::string(common::trimRightBlanks(common::cutAtNul(block.substr(offset, length))));
}

// Bytes of the ID3v2 tag at the start of the file (header, body, footer); 0 without one. A size that
// is not synchsafe means these bytes are no tag header.
uint64_t id3v2Size(const BinaryFile& file) {
  uint8_t header[10] = {};
  if (file.readAt(0, header, sizeof header) != sizeof header) return 0;
  if (header[0] != 'I' || header[1] != 'D' || header[2] != '3') return 0;
  uint64_t body = 0;
  for (int i = 6; i < 10; ++i) {
    if (header[i] >= 0x80) return 0;
    body = (body << 7) | header[i];
  }
  bool footer = header[3] == 4 && (header[5] & 0x10) != 0;
  return 10 + body + (footer ? 10 : 0);
}

// Position of the first MPEG-1 Layer III frame start (with or without CRC) among the 5000 bytes at from.
std::optional<uint64_t> findFrame(const BinaryFile& file, uint64_t from) {
  uint8_t window[kFrameSearchBytes + 1];
  size_t got = file.readAt(from, window, sizeof window);
  for (size_t p = 0; p + 1 < got && p < kFrameSearchBytes; ++p)
    if (window[p] == 0xFF && (window[p + 1] == 0xFA || window[p + 1] == 0xFB)) return from + p;
  return std::nullopt;
}

std::string readBytes(const BinaryFile& file, uint64_t offset, size_t count) {
  std::string bytes(count, '\0');  // a read past the end leaves zeros, as the system's reads do
  file.readAt(offset, bytes.data(), count);
  return bytes;
}

void readFrame(const BinaryFile& file, std::string& header, Analysis& analysis) {
  std::optional<uint64_t> frame = findFrame(file, id3v2Size(file));
  if (!frame) return;
  analysis.frameFound = true;
  analysis.vbr = common::equalsNoCase(readBytes(file, *frame + 36, 4), "Xing");
  if (analysis.vbr) analysis.frameCount = static_cast<uint32_t>(binToDec(byteToBit(readBytes(file, *frame + 44, 4))));
  header = readBytes(file, *frame, 4);
}

// The tag is wherever "tag" first occurs in the last 256 bytes, as the search has always found it.
void readTag(const BinaryFile& file, Analysis& analysis) {
  std::string block = readBytes(file, file.size() - kShortestFile, kShortestFile);
  size_t t = common::findNoCase(block, "tag");
  if (t == std::string::npos) {
    analysis.hasTag = false;
    analysis.genre = 255;
    return;
  }
  analysis.hasTag = true;
  analysis.title = blockText(block, t + 3, 30);
  analysis.artist = blockText(block, t + 33, 30);
  analysis.album = blockText(block, t + 63, 30);
  analysis.year = blockText(block, t + 93, 4);
  analysis.comment = blockText(block, t + 97, 29);
  analysis.track = blockText(block, t + 126, 1);
  if (t + 127 < block.size()) analysis.genre = static_cast<uint8_t>(block[t + 127]);
}

int bitsValue(std::string_view bits, size_t first, size_t count) {
  return first - 1 + count <= bits.size() ? static_cast<int>(binToDec(bits.substr(first - 1, count))) : 0;
}
std::string yesNo(bool set) { return set ? "yes" : "no"; }

}  // namespace

std::string byteToBit(std::string_view bytes) {
  std::string bits;
  for (size_t i = 0; i < bytes.size() && i < 4; ++i)
    for (int bit = 7; bit >= 0; --bit) {
      bool set = (static_cast<uint8_t>(bytes[i]) >> bit) & 1;
      if (set || !bits.empty()) bits += set ? '1' : '0';
    }
  return bits;
}

int64_t binToDec(std::string_view bits) {
  constexpr int64_t kLimit = int64_t{1} << 61;
  int64_t value = 0;
  for (char digit : bits) {
    value = value * 2 + (digit == '1' ? 1 : 0);
    if (value >= kLimit) return 0;  // does not fit: the conversion fails and gives nothing
  }
  return value;
}

std::string binaryHeader(const std::string& path, bool readTagFlag, bool readHeaderFlag, Analysis& analysis) {
  std::optional<BinaryFile> file = openFile(path, BinaryFile::Mode::Read);
  if (!file || file->size() < kShortestFile) return {};
  std::string header;
  if (readHeaderFlag) readFrame(*file, header, analysis);
  if (readTagFlag) readTag(*file, analysis);
  return byteToBit(header);
}

void decodeHeader(std::string_view bits, uint64_t audioBytes, Analysis& analysis) {
  static constexpr int kVersions[4] = {25, 0, 2, 1};
  static constexpr int kLayers[4] = {0, 3, 2, 1};
  static constexpr int kRates[4] = {44100, 48000, 32000, 0};
  static constexpr const char* kModes[4] = {"stereo", "joint stereo", "dual channel", "single channel"};
  static constexpr const char* kEmphases[4] = {"no", "50/15", "reserved", "CCITT J 17"};
  analysis.version = kVersions[bitsValue(bits, 12, 2)];
  analysis.layer = kLayers[bitsValue(bits, 14, 2)];
  analysis.crc = yesNo(bitsValue(bits, 16, 1) == 0);
  int bitrateIndex = bitsValue(bits, 17, 4);
  analysis.sampleRate = analysis.version == 1 ? kRates[bitsValue(bits, 21, 2)] : 0;
  analysis.padding = yesNo(bitsValue(bits, 23, 1) == 1);
  analysis.privateBit = yesNo(bitsValue(bits, 24, 1) == 1);
  analysis.mode = kModes[bitsValue(bits, 25, 2)];
  analysis.copyright = yesNo(bitsValue(bits, 29, 1) == 1);
  analysis.original = yesNo(bitsValue(bits, 30, 1) == 1);
  analysis.emphasis = kEmphases[bitsValue(bits, 31, 2)];

  analysis.bitrate = 0;
  if (!analysis.vbr) {
    if (bitrateIndex < 15) analysis.bitrate = kLayer3Bitrates[bitrateIndex];
  } else if (analysis.frameCount > 0) {
    double rate = static_cast<double>(audioBytes) * analysis.sampleRate / analysis.frameCount / 1000.0 / 144.0;
    analysis.bitrate = common::roundToInt16(rate).value_or(0);  // a rate past 16 bits is not a bitrate
  }
  analysis.duration = 0;
  if (analysis.bitrate > 0)
    analysis.duration = static_cast<int64_t>(std::floor(static_cast<double>(audioBytes) * 8 / analysis.bitrate / 1000));
}

Analysis analyseFile(const std::string& path) {
  Analysis analysis;
  std::string bits = binaryHeader(path, true, true, analysis);
  if (!analysis.frameFound) return analysis;
  uint64_t audioBytes = 0;
  if (std::optional<BinaryFile> file = openFile(path, BinaryFile::Mode::Read)) {
    uint64_t tag = id3v2Size(*file);
    audioBytes = file->size() > tag ? file->size() - tag : 0;  // a cover picture is no playing time
  }
  decodeHeader(bits, audioBytes, analysis);
  return analysis;
}

void writeTag(const std::string& path, std::string_view title, std::string_view artist, std::string_view album,
              std::string_view year, std::string_view comment, int genre, uint8_t track) {
  auto field = [](std::string_view text, size_t length) {
    std::string out(text.substr(0, length));
    out.resize(length, ' ');
    return out;
  };
  std::string tag = "TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4);
  if (track != 0 && comment.size() <= 28) {
    tag += field(comment, 28) + '\0' + static_cast<char>(track);
  } else {
    tag += field(comment, 30);
  }
  tag += static_cast<char>(genre >= 0 && genre <= 255 ? genre : 255);

  std::optional<BinaryFile> file = openFile(path, BinaryFile::Mode::ReadWrite);
  if (!file) return;
  uint64_t size = file->size();
  bool tagged = size >= kTagBytes && common::equalsNoCase(readBytes(*file, size - kTagBytes, 3), "TAG");
  file->writeAt(tagged ? size - kTagBytes : size, tag.data(), tag.size());
}

std::string_view genreString(long long number) {
  return number >= 0 && number < kGenreCount ? kGenres[static_cast<size_t>(number)] : std::string_view();
}

int genreNumber(std::string_view name) {
  for (int i = 0; i < kGenreCount; ++i)
    if (common::equalsNoCase(kGenres[static_cast<size_t>(i)], name)) return i;
  return 12;
}

std::string durationText(int64_t seconds) {
  int64_t hours = seconds / 3600;
  int64_t minutes = (seconds - 3600 * hours) / 60;
  int64_t rest = seconds - 3600 * hours - 60 * minutes;
  if (hours < 1) return std::to_string(minutes) + ":" + common::twoDigits(rest);
  return std::to_string(hours) + ":" + common::twoDigits(minutes) + ":" + common::twoDigits(rest);
}

int64_t durationSeconds(std::string_view text) {
  auto number = [](std::string_view part) {
    double value = common::leadingNumber(part);
    return std::fabs(value) < 1e12 ? static_cast<int64_t>(value) : int64_t{0};  // no real song lasts longer
  };
  size_t last = text.rfind(':');
  if (last == std::string_view::npos) return number(text);
  int64_t seconds = number(text.substr(last + 1));
  std::string_view rest = text.substr(0, last);
  size_t before = rest.rfind(':');
  if (before == std::string_view::npos) return seconds + 60 * number(rest);
  return seconds + 60 * number(rest.substr(before + 1)) + 3600 * number(rest.substr(0, before));
}

}  // namespace taginfo
