#pragma once
// Top-level windows as other processes see them: a process shows a window with a class name and a
// title; any process of the same prefix finds it by class and title; it disappears when it is closed or
// when its process ends in any way, killed included.
//
// A window is a file "<pid>-<n>" in prefix/.run/windows holding the class on its first line and the
// title on its second, locked (flock, exclusive) by its process for as long as the window is shown. A
// host that is not ours shows its window the same way: create the file under a name starting with ".",
// lock it, rename it into place, and keep the lock while the window stays.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

class TopLevelWindow {
 public:
  TopLevelWindow(std::string_view className, std::string_view title);
  ~TopLevelWindow();
  TopLevelWindow(const TopLevelWindow&) = delete;
  TopLevelWindow& operator=(const TopLevelWindow&) = delete;

  bool shown() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::string file_;
};

// The process id of the owner of a shown window with this class and title (both compared without
// regard to case); empty when there is none.
std::optional<int> findWindow(std::string_view className, std::string_view title);

// One running instance per program and prefix: the first holds a lock that ends with its process.
class SingleInstance {
 public:
  explicit SingleInstance(std::string_view programName);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // False when another process of this prefix already runs the program.
  bool first() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Whether a process of this prefix holds the program's single-instance lock.
bool instanceRunning(std::string_view programName);

}  // namespace platform
