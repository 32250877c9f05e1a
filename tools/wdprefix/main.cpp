// wdprefix: shows how a prefix maps the suite's drives and paths onto this machine, and shows a
// top-level window for as long as it runs (as a host program would).
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/events.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/windows.h"

namespace {

const char* typeName(platform::DriveType type) {
  switch (type) {
    case platform::DriveType::Fixed: return "fixed";
    case platform::DriveType::CdRom: return "cdrom";
    case platform::DriveType::Removable: return "removable";
    case platform::DriveType::Remote: return "remote";
    case platform::DriveType::RamDisk: return "ramdisk";
    case platform::DriveType::NoRoot: return "no root";
    default: return "unknown";
  }
}

int usage() {
  std::fprintf(stderr,
               "usage: wdprefix [--prefix DIR] show\n"
               "       wdprefix [--prefix DIR] resolve PATH...\n"
               "       wdprefix [--prefix DIR] list PATTERN\n"
               "       wdprefix [--prefix DIR] window CLASS TITLE   (until interrupted)\n");
  return 2;
}

int show() {
  auto config = platform::machine();
  std::printf("prefix   %s\n", config->prefix().c_str());
  for (const platform::Drive& drive : config->drives()) {
    std::string letter{static_cast<char>(drive.letter - 'a' + 'A'), ':'};
    auto free = platform::freeBytes(letter + "\\");
    std::printf("drive %s %-9s %s", letter.c_str(), typeName(platform::driveType(letter + "\\")), drive.folder.c_str());
    if (free) std::printf("  (%llu MB free)", static_cast<unsigned long long>(*free >> 20));
    std::printf("\n");
  }
  std::printf("windows  %s\nsystem   %s\ntemp     %s\nprogram  %s\n", platform::windowsFolder().c_str(),
              platform::systemFolder().c_str(), platform::tempFolder().c_str(), platform::programFolder().c_str());
  for (const std::string& problem : config->problems()) std::printf("warning: %s\n", problem.c_str());
  return 0;
}

volatile std::sig_atomic_t interrupted = 0;

int window(const char* className, const char* title) {
  platform::TopLevelWindow shown(className, title);
  if (!shown.shown()) {
    std::fprintf(stderr, "wdprefix: cannot show the window in %s\n", platform::machine()->prefix().c_str());
    return 1;
  }
  std::signal(SIGINT, [](int) { interrupted = 1; });
  std::signal(SIGTERM, [](int) { interrupted = 1; });
  std::printf("window \"%s\" \"%s\" shown; interrupt to close it\n", className, title);
  std::fflush(stdout);
  while (interrupted == 0) platform::sleepMs(100);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> args(argv + 1, argv + argc);
  if (args.size() >= 2 && std::strcmp(args[0], "--prefix") == 0) {
    platform::usePrefix(args[1]);
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return usage();
  std::string command = args[0];
  if (command == "show" && args.size() == 1) return show();
  if (command == "resolve" && args.size() >= 2) {
    for (size_t i = 1; i < args.size(); ++i) std::printf("%s -> %s\n", args[i], platform::hostPath(args[i]).c_str());
    return 0;
  }
  if (command == "list" && args.size() == 2) {
    for (const std::string& name : platform::listDirectory(args[1], platform::kAttrDirectory))
      std::printf("%s\n", name.c_str());
    return 0;
  }
  if (command == "window" && args.size() == 3) return window(args[1], args[2]);
  return usage();
}
