#include "platform/paths.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "common/text.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

std::mutex configMutex;
std::shared_ptr<const MachineConfig> currentConfig;

std::optional<DriveType> driveTypeNamed(std::string_view name) {
  struct Named {
    const char* name;
    DriveType type;
  };
  static constexpr Named kTypes[] = {{"fixed", DriveType::Fixed},   {"cdrom", DriveType::CdRom},
                                     {"removable", DriveType::Removable}, {"remote", DriveType::Remote},
                                     {"ramdisk", DriveType::RamDisk}};
  for (const Named& named : kTypes)
    if (common::equalsNoCase(name, named.name)) return named.type;
  return std::nullopt;
}

// "500M", "2G", "1048576": a byte count with an optional K, M or G (powers of 1024).
std::optional<uint64_t> parseSize(std::string_view text) {
  text = common::trimBlanks(text);
  if (text.empty()) return std::nullopt;
  uint64_t factor = 1;
  char unit = common::toUpperAnsi(text.back());
  if (unit == 'B') {
    text.remove_suffix(1);
    unit = text.empty() ? '\0' : common::toUpperAnsi(text.back());
  }
  if (unit == 'K' || unit == 'M' || unit == 'G') {
    factor = unit == 'K' ? 1ull << 10 : unit == 'M' ? 1ull << 20 : 1ull << 30;
    text.remove_suffix(1);
  }
  if (text.empty() || text.size() > 12) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value * factor;
}

std::vector<std::string> splitFields(std::string_view text) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    fields.emplace_back(common::trimBlanks(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

std::string withTrailingBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The host name of one component inside folder: the entry that exists as written, else the entry whose
// name matches without regard to case, else the name as written (for something yet to be created).
std::string resolveComponent(const fs::path& folder, std::string_view ansiName, bool& exists) {
  std::string asWritten = common::ansiToUtf8(ansiName);
  std::error_code ec;
  if (!exists) return asWritten;
  if (fs::symlink_status(folder / asWritten, ec).type() != fs::file_type::not_found && !ec) return asWritten;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    std::string hostName = entry.path().filename().string();
    if (common::equalsNoCase(common::utf8ToAnsi(hostName), ansiName)) return hostName;
  }
  exists = false;
  return asWritten;
}

// Appends the components of a backslash or slash separated tail to base, resolving each.
fs::path resolveTail(fs::path base, std::string_view tail, const fs::path& floor) {
  bool exists = true;
  size_t pos = 0;
  while (pos <= tail.size()) {
    size_t end = pos;
    while (end < tail.size() && !isSeparator(tail[end])) ++end;
    std::string_view component = tail.substr(pos, end - pos);
    pos = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (base != floor && base.has_parent_path() && base.has_relative_path()) base = base.parent_path();
      std::error_code ec;
      exists = fs::is_directory(base, ec);
      continue;
    }
    base /= resolveComponent(base, component, exists);
  }
  return base;
}

fs::path programFolderHost() {
  if (const char* dir = std::getenv("WAVEDESK_PROGRAM_DIR"); dir != nullptr && *dir != '\0') return dir;
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path(ec) : exe.parent_path();
}

}  // namespace

std::shared_ptr<const MachineConfig> MachineConfig::load(const fs::path& prefix) {
  auto config = std::make_shared<MachineConfig>();
  config->prefix_ = prefix;
  std::ifstream file(prefix / "wavedesk.ini", std::ios::binary);
  if (file) {
    std::stringstream text;
    text << file.rdbuf();
    config->ini_ = common::IniFile::parse(text.str());
    for (int line : config->ini_.badLines())
      config->problems_.push_back("wavedesk.ini line " + std::to_string(line) + ": not a section or key = value");
  }
  config->readDrives();
  config->readFolders();
  config->createDefaultFolders();
  return config;
}

void MachineConfig::readDrives() {
  drives_.push_back({'c', prefix_ / "drive_c", DriveType::Fixed, std::nullopt});
  drives_.push_back({'z', "/", DriveType::Fixed, std::nullopt});
  for (const common::IniEntry& entry : ini_.section("drives")) {
    auto where = "wavedesk.ini line " + std::to_string(entry.line) + ": ";
    std::string key = common::lowerCase(entry.key);
    if (key.size() != 1 || key[0] < 'a' || key[0] > 'z') {
      problems_.push_back(where + "'" + entry.key + "' is not a drive letter");
      continue;
    }
    std::vector<std::string> fields = splitFields(entry.value);
    Drive drive{key[0], fs::path(fields[0]), DriveType::Fixed, std::nullopt};
    if (fields[0].empty()) {
      problems_.push_back(where + "drive " + key + " names no folder");
      continue;
    }
    if (drive.folder.is_relative()) drive.folder = prefix_ / drive.folder;
    if (fields.size() > 1) {
      std::optional<DriveType> type = driveTypeNamed(fields[1]);
      if (!type) problems_.push_back(where + "unknown drive type '" + fields[1] + "', taken as fixed");
      drive.type = type.value_or(DriveType::Fixed);
    }
    if (fields.size() > 2) {
      drive.freeLimit = parseSize(fields[2]);
      if (!drive.freeLimit) problems_.push_back(where + "free space '" + fields[2] + "' is not a size");
    }
    std::erase_if(drives_, [&](const Drive& d) { return d.letter == drive.letter; });
    drives_.push_back(drive);
  }
}

void MachineConfig::readFolders() {
  auto folder = [&](const char* key, std::string& target) {
    std::optional<std::string> value = ini_.value("folders", key);
    if (!value) return;
    if (hasDriveLetter(*value) && value->size() >= 3) {
      target = withTrailingBackslash(*value);
    } else {
      problems_.push_back(std::string("wavedesk.ini: folder '") + key + "' must be a drive path such as c:\\" + key);
    }
  };
  folder("windows", windowsFolder_);
  folder("system", systemFolder_);
  folder("temp", tempFolder_);
}

// A fresh prefix looks like an installed system: drive C with its Windows, system and temporary folders.
void MachineConfig::createDefaultFolders() const {
  std::error_code ec;
  const Drive* c = drive('c');
  if (c != nullptr && c->folder == prefix_ / "drive_c") fs::create_directories(c->folder, ec);
  for (const std::string* folder : {&windowsFolder_, &systemFolder_, &tempFolder_}) {
    const Drive* d = drive(common::toLowerAnsi((*folder)[0]));
    if (d == nullptr || !fs::is_directory(d->folder, ec)) continue;
    fs::create_directories(resolveTail(d->folder, std::string_view(*folder).substr(2), d->folder), ec);
  }
}

const Drive* MachineConfig::drive(char letter) const {
  letter = common::toLowerAnsi(letter);
  for (const Drive& d : drives_)
    if (d.letter == letter) return &d;
  return nullptr;
}

fs::path defaultPrefix() {
  std::error_code ec;
  if (const char* prefix = std::getenv("WAVEDESK_PREFIX"); prefix != nullptr && *prefix != '\0')
    return fs::absolute(prefix, ec);
  const char* home = std::getenv("HOME");
  return fs::path(home != nullptr && *home != '\0' ? home : "/tmp") / ".wavedesk";
}

// Every shared library of the suite carries its own copy of this layer, so the prefix in use is kept where
// all copies in a process see it: in $WAVEDESK_PREFIX, with a count of the loads asked for in
// $WAVEDESK_PREFIX_LOADS. A copy whose configuration names another prefix, or an older load of the same
// one (its wavedesk.ini rewritten), loads it again.
namespace {

std::string loadsAskedFor() {
  const char* loads = std::getenv("WAVEDESK_PREFIX_LOADS");
  return loads != nullptr ? loads : "";
}

std::string loadedAt;  // the count of loads asked for when currentConfig was loaded

}  // namespace

std::shared_ptr<const MachineConfig> machine() {
  fs::path wanted = defaultPrefix();
  std::string loads = loadsAskedFor();
  std::lock_guard lock(configMutex);
  if (!currentConfig || currentConfig->prefix() != wanted || loadedAt != loads) {
    currentConfig = MachineConfig::load(wanted);
    loadedAt = loads;
  }
  return currentConfig;
}

void usePrefix(const fs::path& prefix) {
  auto config = MachineConfig::load(fs::absolute(prefix));
  std::lock_guard lock(configMutex);
  std::string loads = std::to_string(std::atoll(loadsAskedFor().c_str()) + 1);
  ::setenv("WAVEDESK_PREFIX", config->prefix().c_str(), 1);
  ::setenv("WAVEDESK_PREFIX_LOADS", loads.c_str(), 1);
  currentConfig = config;
  loadedAt = loads;
}

bool hasDriveLetter(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
}

fs::path hostPath(std::string_view path) {
  path = common::cutAtNul(path);
  if (!path.empty() && path[0] == '/') return fs::path(std::string(path));
  if (hasDriveLetter(path)) {
    auto config = machine();
    const Drive* drive = config->drive(path[0]);
    if (drive == nullptr) return {};
    return resolveTail(drive->folder, path.substr(2), drive->folder);
  }
  if (!path.empty() && isSeparator(path[0])) {
    if (path.size() > 1 && isSeparator(path[1])) return {};  // network shares are not reachable
    return hostPath("c:" + std::string(path));
  }
  return resolveTail(".", path, ".");
}

std::string windowsPath(const fs::path& host) {
  std::error_code ec;
  fs::path target = fs::weakly_canonical(fs::absolute(host, ec), ec);
  auto config = machine();
  const Drive* best = nullptr;
  fs::path bestRest;
  for (const Drive& drive : config->drives()) {
    fs::path root = fs::weakly_canonical(drive.folder, ec);
    fs::path rest = target.lexically_relative(root);
    if (rest.empty() || *rest.begin() == "..") continue;
    if (best == nullptr || std::distance(rest.begin(), rest.end()) < std::distance(bestRest.begin(), bestRest.end())) {
      best = &drive;
      bestRest = rest;
    }
  }
  if (best == nullptr) return {};
  std::string out{best->letter, ':', '\\'};
  std::string tail = bestRest == "." ? "" : bestRest.string();
  for (char& c : tail)
    if (c == '/') c = '\\';
  return out + common::utf8ToAnsi(tail);
}

std::string programFolder() { return withTrailingBackslash(windowsPath(programFolderHost())); }
std::string windowsFolder() { return machine()->windowsFolder(); }
std::string systemFolder() { return machine()->systemFolder(); }
std::string tempFolder() { return machine()->tempFolder(); }

namespace {

const Drive* driveOf(std::string_view path, std::shared_ptr<const MachineConfig>& config) {
  config = machine();
  if (hasDriveLetter(path)) return config->drive(path[0]);
  std::string windows = windowsPath(hostPath(path));
  return windows.empty() ? nullptr : config->drive(windows[0]);
}

}  // namespace

DriveType driveType(std::string_view path) {
  std::shared_ptr<const MachineConfig> config;
  const Drive* drive = driveOf(path, config);
  std::error_code ec;
  if (drive == nullptr || !fs::exists(drive->folder, ec)) return DriveType::NoRoot;
  return drive->type;
}

std::optional<uint64_t> freeBytes(std::string_view path) {
  std::shared_ptr<const MachineConfig> config;
  const Drive* drive = driveOf(path, config);
  struct statvfs info {};
  if (drive == nullptr || statvfs(drive->folder.c_str(), &info) != 0) return std::nullopt;
  uint64_t bytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  return drive->freeLimit ? std::min(bytes, *drive->freeLimit) : bytes;
}

}  // namespace platform
