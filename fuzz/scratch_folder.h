#pragma once
// A folder of the fuzz process's own for the files a target writes, inside a prefix of its own so that
// nothing touches the user's home; removed when the process ends.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fuzzsupport {

class ScratchFolder {
 public:
  static ScratchFolder& get() {
    static ScratchFolder folder;
    return folder;
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  // Host paths are paths of the suite as they stand.
  std::string path(const std::string& name) const { return (root_ / name).string(); }

  void write(const std::string& name, const uint8_t* data, size_t size) const {
    std::ofstream(root_ / name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::string read(const std::string& name) const {
    std::ifstream in(root_ / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  size_t entries() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(root_)) ++count;
    return count;
  }
  void clear() const {
    for (const auto& entry : std::filesystem::directory_iterator(root_)) std::filesystem::remove_all(entry.path());
  }

 private:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wavedesk-fuzz-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::filesystem::temp_directory_path().string();
    ::setenv("WAVEDESK_PREFIX", root_.c_str(), 1);
    root_ /= "files";
    std::filesystem::create_directories(root_);
  }
  std::filesystem::path root_;
};

}  // namespace fuzzsupport
