#pragma once
// A prefix of the test's own in a fresh temporary folder, made current for the process and removed again.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/paths.h"

namespace testsupport {

class TempPrefix {
 public:
  explicit TempPrefix(std::string_view ini = {}) {
    std::string pattern = (std::filesystem::temp_directory_path() / "wavedesk-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    root_ = made != nullptr ? made : pattern;
    if (!ini.empty()) writeIni(ini);
    platform::usePrefix(root_);
  }
  ~TempPrefix() {
    std::error_code ec;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(root_, ec);
  }
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path driveC() const { return root_ / "drive_c"; }

  void writeIni(std::string_view ini) const {
    std::ofstream(root_ / "wavedesk.ini", std::ios::binary) << ini;
    platform::usePrefix(root_);
  }

  // Writes a host file, creating its folders.
  static void touch(const std::filesystem::path& file, std::string_view content = "x") {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
  }

 private:
  std::filesystem::path root_;
};

}  // namespace testsupport
