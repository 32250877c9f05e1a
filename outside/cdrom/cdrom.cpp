#include "outside/cdrom/cdrom.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <mutex>
#include <span>

#include "common/text.h"
#include "common/wav.h"
#include "outside/cdrom/cue.h"
#include "platform/paths.h"

namespace cdrom {
namespace {

// A sector that still fails after this many attempts fails the read (a real drive with a scratched disc
// would otherwise retry for a very long time).
constexpr int kSectorRetries = 20;
constexpr uintmax_t kMaxCueBytes = 1 << 20;

// The libraries report to stderr by default; their failures reach our callers as results instead.
void quietLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    cdio_log_set_handler([](cdio_log_level_t, const char*) {});
  });
}

struct CdioCloser {
  void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};
using Cdio = std::unique_ptr<CdIo_t, CdioCloser>;

Cdio openSource(const std::filesystem::path& source) {
  quietLibraries();
  return Cdio(cdio_open(source.c_str(), DRIVER_UNKNOWN));
}

bool isImageOrDevice(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  return S_ISREG(info.st_mode) || S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode);
}

}  // namespace

std::vector<Device> devices(const platform::MachineConfig& config) {
  std::vector<Device> found;
  for (const platform::Drive& drive : config.drives())
    if (drive.type == platform::DriveType::CdRom && isImageOrDevice(drive.folder))
      found.push_back({drive.letter, drive.folder});
  std::sort(found.begin(), found.end(), [](const Device& a, const Device& b) { return a.letter < b.letter; });
  return found;
}

namespace {

// A CUE sheet is a disc only while every data file it names is there: libcdio would read a missing
// one as silence.
bool cueDataPresent(const std::filesystem::path& sheet) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(sheet, ec);
  if (ec || size > kMaxCueBytes) return false;
  std::string text(static_cast<size_t>(size), '\0');
  std::ifstream(sheet, std::ios::binary).read(text.data(), std::streamsize(text.size()));
  const std::vector<std::string> names = cueFileNames(text);
  if (names.empty()) return false;
  for (const std::string& name : names) {
    std::filesystem::path file(name);
    if (file.is_relative()) file = sheet.parent_path() / file;
    if (!std::filesystem::is_regular_file(file, ec)) return false;
  }
  return true;
}

bool isCueSheet(const std::filesystem::path& source) {
  return common::lowerCase(source.extension().string()) == ".cue";
}

}  // namespace

std::optional<std::vector<Track>> readToc(const std::filesystem::path& source) {
  if (isCueSheet(source) && !cueDataPresent(source)) return std::nullopt;
  Cdio cdio = openSource(source);
  if (!cdio) return std::nullopt;
  const track_t first = cdio_get_first_track_num(cdio.get());
  const track_t count = cdio_get_num_tracks(cdio.get());
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) return std::nullopt;
  std::vector<Track> tracks;
  for (track_t t = first; t < first + count; ++t) {
    Track track;
    track.number = t;
    track.firstSector = cdio_get_track_lsn(cdio.get(), t);
    track.lastSector = cdio_get_track_last_lsn(cdio.get(), t);
    track.audio = cdio_get_track_format(cdio.get(), t) == TRACK_FORMAT_AUDIO;
    if (track.firstSector == CDIO_INVALID_LSN || track.lastSector < track.firstSector) return std::nullopt;
    tracks.push_back(track);
  }
  return tracks;
}

namespace {

struct ParanoiaReader {
  Cdio cdio;
  cdrom_drive_t* drive = nullptr;
  cdrom_paranoia_t* paranoia = nullptr;
  ~ParanoiaReader() {
    if (paranoia != nullptr) cdio_paranoia_free(paranoia);
    if (drive != nullptr) cdio_cddap_close_no_free_cdio(drive);
  }
};

ReadOutcome failure(ReadError code, std::string message) {
  return {ReadOutcome::Failed, code, std::move(message)};
}

}  // namespace

ReadOutcome readTrack(const std::filesystem::path& source, int trackNumber, const std::filesystem::path& target,
                      Checking checking, const std::atomic<bool>& stop,
                      const std::function<void(int32_t)>& onProgress) {
  auto toc = readToc(source);
  if (!toc) return failure(kNoDisc, "no readable disc");
  const Track* track = nullptr;
  for (const Track& t : *toc)
    if (t.number == trackNumber) track = &t;
  if (track == nullptr) return failure(kNoSuchTrack, "no track " + std::to_string(trackNumber) + " on the disc");
  if (!track->audio) return failure(kNotAudio, "track " + std::to_string(trackNumber) + " is not audio");

  ParanoiaReader reader;
  reader.cdio = openSource(source);
  if (reader.cdio) reader.drive = cdio_cddap_identify_cdio(reader.cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr);
  if (reader.drive == nullptr || cdio_cddap_open(reader.drive) != 0) return failure(kNoDisc, "the disc cannot be read");
  // Samples come as the disc holds them, little-endian; without this the library would guess the byte
  // order from the music itself, and could swap a track whose content fools the guess.
  reader.drive->bigendianp = 0;
  reader.paranoia = cdio_paranoia_init(reader.drive);
  if (reader.paranoia == nullptr) return failure(kNoDisc, "the disc cannot be read");
  cdio_paranoia_modeset(reader.paranoia, checking == Checking::Full ? PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP
                                                                    : PARANOIA_MODE_DISABLE);
  cdio_paranoia_seek(reader.paranoia, track->firstSector, SEEK_SET);

  common::WavWriter writer;
  if (!writer.open(target, common::kCdRate, common::kCdChannels, common::WavWriter::Sizes::AtClose))
    return failure(kTargetFailed, "the file cannot be written");
  const int32_t total = track->sectors();
  int32_t reported = -1;
  for (int32_t done = 0; done < total; ++done) {
    if (stop) {
      writer.close();
      return {ReadOutcome::Stopped, 0, {}};
    }
    const int16_t* samples = cdio_paranoia_read_limited(reader.paranoia, nullptr, kSectorRetries);
    if (samples == nullptr) {
      writer.close();
      return failure(kSectorFailed, "sector " + std::to_string(track->firstSector + done) + " cannot be read");
    }
    writer.append(std::span<const int16_t>(samples, kSectorBytes / 2));
    if (writer.failed()) return failure(kTargetFailed, "the file cannot be written");
    const int32_t perMille = static_cast<int32_t>(int64_t(done + 1) * 1000 / total);
    if (perMille != reported && onProgress) onProgress(reported = perMille);
  }
  if (!writer.close()) return failure(kTargetFailed, "the file cannot be written");
  return {ReadOutcome::Complete, 0, {}};
}

}  // namespace cdrom
