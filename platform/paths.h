#pragma once
// Windows-style paths on drives, mapped onto the host file system through the prefix.
//
// The prefix is $WAVEDESK_PREFIX, or ~/.wavedesk when unset. Its optional wavedesk.ini maps drive letters
// to host folders with a drive type and names the Windows, system and temporary folders (format in the
// README). Drive C is prefix/drive_c unless mapped; drive Z is "/", so every host file has a Windows path.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ini.h"

namespace platform {

// The values the system gives for the type of a drive's root.
enum class DriveType : int { Unknown = 0, NoRoot = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };

struct Drive {
  char letter = 'c';  // lower case
  std::filesystem::path folder;
  DriveType type = DriveType::Fixed;
  // Free space reported for the drive is at most this many bytes (a small disk on a big host).
  std::optional<uint64_t> freeLimit;
};

class MachineConfig {
 public:
  // Reads prefix/wavedesk.ini when present and creates the default folders of drive C.
  static std::shared_ptr<const MachineConfig> load(const std::filesystem::path& prefix);

  const std::filesystem::path& prefix() const { return prefix_; }
  const Drive* drive(char letter) const;
  const std::vector<Drive>& drives() const { return drives_; }
  // Windows-style folders, each ending in "\".
  const std::string& windowsFolder() const { return windowsFolder_; }
  const std::string& systemFolder() const { return systemFolder_; }
  const std::string& tempFolder() const { return tempFolder_; }
  // The whole ini, for the sections other parts of the system read.
  const common::IniFile& ini() const { return ini_; }
  // What was wrong with wavedesk.ini, one readable line each; the rest of the file still applies.
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  void readDrives();
  void readFolders();
  void createDefaultFolders() const;

  std::filesystem::path prefix_;
  common::IniFile ini_;
  std::vector<Drive> drives_;
  std::string windowsFolder_ = "c:\\windows\\";
  std::string systemFolder_ = "c:\\windows\\system\\";
  std::string tempFolder_ = "c:\\windows\\temp\\";
  std::vector<std::string> problems_;
};

// The configuration of this process's prefix, loaded at first use.
std::shared_ptr<const MachineConfig> machine();
// Switches the process to another prefix (a tool's --prefix, a test's own folder) and reloads it.
void usePrefix(const std::filesystem::path& prefix);
std::filesystem::path defaultPrefix();

// The host path a path of the suite names: "x:\a\b" on its drive, with every component that does not
// exist as written found without regard to case; a POSIX absolute path as it stands; anything else
// relative to the current folder. Empty when the drive is not mapped.
std::filesystem::path hostPath(std::string_view path);
// A host path as the suite writes it: on the mapped drive whose folder holds it, else on drive Z.
std::string windowsPath(const std::filesystem::path& host);

// Folders as the system gives them, Windows-style and ending in "\".
std::string programFolder();
std::string windowsFolder();
std::string systemFolder();
std::string tempFolder();

// Type of the drive that holds the path (its first three characters name the root for a drive path).
DriveType driveType(std::string_view path);
// Free bytes for the user on the drive that holds the path; empty when the drive has no root.
std::optional<uint64_t> freeBytes(std::string_view path);

// True for "x:..." texts.
bool hasDriveLetter(std::string_view path);

}  // namespace platform
