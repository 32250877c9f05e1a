#include "platform/windows.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "common/text.h"
#include "platform/paths.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

fs::path runFolder(const char* kind) {
  fs::path folder = machine()->prefix() / ".run" / kind;
  std::error_code ec;
  fs::create_directories(folder, ec);
  return folder;
}

bool writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string readAll(int fd) {
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 8192) text.append(buffer, static_cast<size_t>(n));
  return text;
}

}  // namespace

TopLevelWindow::TopLevelWindow(std::string_view className, std::string_view title) {
  static std::atomic<int> counter{0};
  fs::path folder = runFolder("windows");
  std::string name = std::to_string(::getpid()) + "-" + std::to_string(++counter);
  fs::path staging = folder / ("." + name);
  int fd = ::open(staging.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // Locked before it is visible under its real name, so no reader ever takes it for a dead window.
  if (::flock(fd, LOCK_EX) != 0 || !writeAll(fd, std::string(className) + "\n" + std::string(title) + "\n") ||
      ::rename(staging.c_str(), (folder / name).c_str()) != 0) {
    ::unlink(staging.c_str());
    ::close(fd);
    return;
  }
  fd_ = fd;
  file_ = (folder / name).string();
}

TopLevelWindow::~TopLevelWindow() {
  if (fd_ < 0) return;
  ::unlink(file_.c_str());
  ::close(fd_);
}

std::optional<int> findWindow(std::string_view className, std::string_view title) {
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(runFolder("windows"), ec)) {
    std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
      // Its process is gone: nobody holds the window any more. Unless the name has meanwhile been
      // taken by a new window, the stale file goes.
      struct stat held {}, named {};
      if (::fstat(fd, &held) == 0 && ::stat(entry.path().c_str(), &named) == 0 && held.st_ino == named.st_ino)
        ::unlink(entry.path().c_str());
      ::close(fd);
      continue;
    }
    std::string text = readAll(fd);
    ::close(fd);
    size_t firstEnd = text.find('\n');
    size_t secondEnd = text.find('\n', firstEnd + 1);
    if (firstEnd == std::string::npos || secondEnd == std::string::npos) continue;
    if (common::equalsNoCase(std::string_view(text).substr(0, firstEnd), className) &&
        common::equalsNoCase(std::string_view(text).substr(firstEnd + 1, secondEnd - firstEnd - 1), title))
      return std::atoi(name.c_str());
  }
  return std::nullopt;
}

namespace {

fs::path instanceLock(std::string_view programName) {
  return runFolder("instances") / (common::lowerCase(programName) + ".lock");
}

}  // namespace

bool instanceRunning(std::string_view programName) {
  int fd = ::open(instanceLock(programName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool running = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
  ::close(fd);  // closing drops the probe's own lock
  return running;
}

SingleInstance::SingleInstance(std::string_view programName) {
  int fd = ::open(instanceLock(programName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // A probe of instanceRunning holds the lock for a moment only; a running instance holds it for good.
  for (int attempt = 0; ::flock(fd, LOCK_EX | LOCK_NB) != 0; ++attempt) {
    if (attempt == 5) {
      ::close(fd);
      return;
    }
    ::usleep(10'000);
  }
  fd_ = fd;
}

SingleInstance::~SingleInstance() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace platform
