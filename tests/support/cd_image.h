#pragma once
// Audio CD images made by the tests themselves: a BIN file of raw 2352-byte sectors and the CUE sheet that
// describes it. Every track holds its own deterministic pseudo-random samples, so a track read from the
// wrong place, shifted or byte-swapped never matches.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testsupport {

inline constexpr size_t kCdSectorBytes = 2352;

struct CdTrackSpec {
  size_t sectors = 75;       // length from its INDEX 01 to the next track's INDEX 01 (or the end)
  size_t pregapSectors = 0;  // an INDEX 00 this many sectors before INDEX 01 (counted in the previous track)
  bool data = false;         // a MODE1/2352 data track
};

struct CdImage {
  std::filesystem::path cue;
  std::filesystem::path bin;
  std::vector<std::string> trackBytes;  // each track's bytes in the BIN, by track number - 1
};

// Writes folder/name.bin and folder/name.cue. The CUE names the BIN by `binName` as written (so a test
// can point it at a file that is not there).
inline CdImage writeCdImage(const std::filesystem::path& folder, const std::string& name,
                            const std::vector<CdTrackSpec>& tracks, std::string binName = {}) {
  CdImage image;
  image.bin = folder / (name + ".bin");
  image.cue = folder / (name + ".cue");
  if (binName.empty()) binName = name + ".bin";
  std::string cue = "REM made by a test\r\nFILE \"" + binName + "\" BINARY\r\n";
  std::string bin;
  uint32_t state = 0x2545F491u;
  for (size_t t = 0; t < tracks.size(); ++t) {
    const size_t startSector = bin.size() / kCdSectorBytes;
    std::string bytes(tracks[t].sectors * kCdSectorBytes, '\0');
    for (char& b : bytes) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      b = static_cast<char>(state >> 11);
    }
    image.trackBytes.push_back(bytes);
    bin += bytes;
    auto msf = [](size_t sector) {
      char text[48];
      std::snprintf(text, sizeof text, "%02zu:%02zu:%02zu", sector / 75 / 60, sector / 75 % 60, sector % 75);
      return std::string(text);
    };
    char header[64];
    std::snprintf(header, sizeof header, "  TRACK %02zu %s\r\n", t + 1, tracks[t].data ? "MODE1/2352" : "AUDIO");
    cue += header;
    if (tracks[t].pregapSectors > 0 && startSector >= tracks[t].pregapSectors)
      cue += "    INDEX 00 " + msf(startSector - tracks[t].pregapSectors) + "\r\n";
    cue += "    INDEX 01 " + msf(startSector) + "\r\n";
  }
  std::filesystem::create_directories(folder);
  std::ofstream(image.bin, std::ios::binary) << bin;
  std::ofstream(image.cue, std::ios::binary) << cue;
  return image;
}

}  // namespace testsupport
