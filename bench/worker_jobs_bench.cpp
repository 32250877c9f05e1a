// Jobs through the worker, as the host runs them (jobctl writes the command and follows the status
// messages to the end): encoding and decoding a long file and grabbing a track of a disc image, each against
// its peer program on the same file in the same run.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "tests/support/cd_image.h"

namespace fs = std::filesystem;

int main() {
  for (const char* peer : {"lame", "mpg123", "cd-paranoia"}) {
    if (!bench::peerInstalled(peer)) {
      std::printf("worker jobs: %s missing (make deps installs it)\n", peer);
      return 0;
    }
  }
  const fs::path folder = bench::scratchFolder();
  const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin";
  const fs::path prefix = folder / "prefix";
  const int minutes = bench::benchMinutes();
  // Best of a few runs, as every benchmark here takes them; short jobs get more, since the worker picks a
  // job up at its next 200 ms tick and that wait falls anywhere from 0 to 200 ms.
  const int runs = 2;
  const int shortRuns = 5;
  fs::create_directories(prefix / "drive_c");
  auto image = testsupport::writeCdImage(prefix / "discs", "disc", {{.sectors = size_t(minutes) * 60 * 75}, {.sectors = 75}});
  std::ofstream(prefix / "wavedesk.ini") << "[drives]\nd = discs/disc.cue, cdrom\n";
  ::setenv("WAVEDESK_PREFIX", prefix.c_str(), 1);
  const fs::path wav = prefix / "drive_c" / "long.wav";
  if (!bench::writeMusicLikeWav(wav, minutes)) return 1;
  std::printf("worker jobs: %d minutes of audio, best of %d (encode) or %d\n", minutes, runs, shortRuns);

  const std::string jobctl = (bin / "jobctl").string() + " ";
  auto job = [&](const std::string& arguments) {
    return [command = jobctl + arguments + " >/dev/null"] {
      if (std::system(command.c_str()) != 0) std::printf("  job failed: %s\n", command.c_str());
    };
  };
  std::system((jobctl + "send command stop >/dev/null").c_str());  // the worker is up before the clock runs

  double ours = bench::bestOf(runs, job("encode c:\\\\long.wav c:\\\\long.mp3 --bitrate 128 --quality 1"));
  double theirs = bench::runPeer(runs, "lame --silent -b 128 -h '" + wav.string() + "' '" + (folder / "peer.mp3").string() + "'");
  bench::report("encode job (128 kbit/s, high quality)", ours, "lame -h", theirs, 0.95);

  ours = bench::bestOf(shortRuns, job("decode c:\\\\long.mp3 c:\\\\back.wav"));
  theirs = bench::runPeer(shortRuns, "mpg123 -q -w '" + (folder / "peer.wav").string() + "' '" + (prefix / "drive_c" / "long.mp3").string() + "'");
  bench::report("decode job", ours, "mpg123 -w", theirs, 0.9);

  ours = bench::bestOf(shortRuns, job("grab 1 c:\\\\track1.wav --quality 1"));
  theirs = bench::runPeer(shortRuns, "cd-paranoia -q -d '" + image.cue.string() + "' -w 1 '" + (folder / "peer1.wav").string() + "' 2>/dev/null");
  bench::report("grab job (full checking)", ours, "cd-paranoia", theirs, 0.9);

  std::system((jobctl + "end >/dev/null").c_str());
  fs::remove_all(folder);
  return 0;
}
