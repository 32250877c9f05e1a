#pragma once
// Audio CD devices of the prefix and reading their tracks. A device is a drive of type cdrom in
// wavedesk.ini whose mapping names a disc image file (a CUE sheet with its BIN, or another image libcdio
// reads) or a device node of a real drive; devices are numbered from 1 in drive-letter order. Both kinds
// are read through libcdio and libcdio-paranoia.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class MachineConfig;
}

namespace cdrom {

inline constexpr int kSectorBytes = 2352;
inline constexpr int kSectorsPerSecond = 75;

struct Device {
  char letter = 'd';
  std::filesystem::path source;  // image file or device node
};

// The CD devices of the configuration, in drive-letter order.
std::vector<Device> devices(const platform::MachineConfig& config);

struct Track {
  int number = 0;
  int32_t firstSector = 0;  // from INDEX 01
  int32_t lastSector = 0;   // up to the sector before the next track's INDEX 01
  bool audio = true;
  int32_t sectors() const { return lastSector - firstSector + 1; }
};

// The table of contents of the disc in a device; empty when there is no readable disc.
std::optional<std::vector<Track>> readToc(const std::filesystem::path& source);

enum class Checking { Plain, Full };

struct ReadOutcome {
  enum Result { Complete, Stopped, Failed } result = Failed;
  int32_t code = 0;  // on failure
  std::string message;
};

// Error codes of a failed read.
enum ReadError : int32_t {
  kNoDisc = 1,         // the device has no readable disc (an image whose data file is missing)
  kNoSuchTrack = 2,    // the disc has no track of that number
  kNotAudio = 3,       // the track is a data track
  kTargetFailed = 4,   // the WAV file cannot be written
  kSectorFailed = 5,   // a sector could not be read
};

// Reads one track into a 44100 Hz 16-bit stereo WAV file holding exactly the track's samples, reporting
// progress in per mille as it changes; `stop` ends it early (the file then holds what was read). The
// file's header gets its sizes when the file is finished, so a reader following it sees an open-ended
// stream until then.
ReadOutcome readTrack(const std::filesystem::path& source, int track, const std::filesystem::path& target,
                      Checking checking, const std::atomic<bool>& stop,
                      const std::function<void(int32_t)>& onProgress);

}  // namespace cdrom
