// Reading a track of a CUE/BIN image into a WAV file, with and without full checking, against cd-paranoia
// reading the same image with the same checking.
#include <atomic>
#include <cstdio>

#include "bench/bench_support.h"
#include "outside/cdrom/cdrom.h"
#include "tests/support/cd_image.h"

int main() {
  if (!bench::peerInstalled("cd-paranoia")) {
    std::printf("cd read: cd-paranoia missing (make deps installs it)\n");
    return 0;
  }
  const auto folder = bench::scratchFolder();
  const int minutes = bench::benchMinutes();
  const size_t sectors = size_t(minutes) * 60 * 75;
  auto image = testsupport::writeCdImage(folder, "disc", {{.sectors = sectors}, {.sectors = 75}});
  const int runs = 3;
  std::printf("cd read: track 1 of a CUE/BIN image, %d minutes\n", minutes);
  struct Setting {
    cdrom::Checking checking;
    const char* peerOption;
    const char* what;
  } settings[] = {{cdrom::Checking::Full, "", "read track, full checking (copy mode 2)"},
                  {cdrom::Checking::Plain, "-Z ", "read track, no checking (copy mode 1)"}};
  for (const Setting& s : settings) {
    const double theirs = bench::runPeer(runs, std::string("cd-paranoia -q ") + s.peerOption + "-d '" + image.cue.string() +
                                                   "' -w 1 '" + (folder / "peer.wav").string() + "' 2>/dev/null");
    std::atomic<bool> stop{false};
    bool complete = true;
    const double ours = bench::bestOf(runs, [&] {
      complete = cdrom::readTrack(image.cue, 1, folder / "ours.wav", s.checking, stop, nullptr).result ==
                     cdrom::ReadOutcome::Complete && complete;
    });
    if (!complete) std::printf("  our read did not complete\n");
    bench::report(s.what, ours, "cd-paranoia", theirs, 0.9);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
