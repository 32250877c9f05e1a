#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/text.h"
#include "platform/paths.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

std::optional<struct stat> statOf(const fs::path& host) {
  struct stat info {};
  if (host.empty() || ::stat(host.c_str(), &info) != 0) return std::nullopt;
  return info;
}

uint32_t attributesOf(const fs::path& host, const struct stat& info) {
  uint32_t attrs = S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((info.st_mode & S_IWUSR) == 0) attrs |= kAttrReadOnly;
  std::string name = host.filename().string();
  if (name.size() > 1 && name[0] == '.' && name != "..") attrs |= kAttrHidden;
  return attrs;
}

// A sibling name for work in progress; unique per process and call so that writers never collide.
fs::path workingSibling(const fs::path& target) {
  static unsigned counter = 0;
  return target.parent_path() /
         (".~" + target.filename().string() + "." + std::to_string(::getpid()) + "." + std::to_string(++counter));
}

bool sameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

bool fileExists(std::string_view path) {
  auto info = statOf(hostPath(path));
  return info && !S_ISDIR(info->st_mode);
}

bool folderExists(std::string_view path) {
  auto info = statOf(hostPath(path));
  return info && S_ISDIR(info->st_mode);
}

std::optional<uint64_t> fileLength(std::string_view path) {
  auto info = statOf(hostPath(path));
  if (!info || S_ISDIR(info->st_mode)) return std::nullopt;
  return static_cast<uint64_t>(info->st_size);
}

std::optional<uint32_t> attributes(std::string_view path) {
  fs::path host = hostPath(path);
  auto info = statOf(host);
  if (!info) return std::nullopt;
  return attributesOf(host, *info);
}

bool setAttributes(std::string_view path, uint32_t attrs) {
  fs::path host = hostPath(path);
  auto info = statOf(host);
  if (!info) return false;
  mode_t mode = info->st_mode & 07777;
  mode = (attrs & kAttrReadOnly) != 0 ? mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
  return ::chmod(host.c_str(), mode) == 0;
}

bool deleteFile(std::string_view path) {
  fs::path host = hostPath(path);
  auto info = statOf(host);
  if (!info || S_ISDIR(info->st_mode) || (attributesOf(host, *info) & kAttrReadOnly) != 0) return false;
  return ::unlink(host.c_str()) == 0;
}

bool renameFile(std::string_view from, std::string_view to) {
  fs::path source = hostPath(from);
  fs::path target = hostPath(to);
  if (source.empty() || target.empty() || !statOf(source)) return false;
  if (statOf(target)) {
    if (!sameFile(source, target)) return false;
    // The same file under another case: the new name is taken as written.
    size_t cut = to.find_last_of("\\/");
    target = target.parent_path() / common::ansiToUtf8(cut == std::string_view::npos ? to : to.substr(cut + 1));
  }
  return ::rename(source.c_str(), target.c_str()) == 0;
}

bool replaceFile(std::string_view from, std::string_view to) {
  fs::path source = hostPath(from);
  fs::path target = hostPath(to);
  if (source.empty() || target.empty()) return false;
  return ::rename(source.c_str(), target.c_str()) == 0;
}

bool copyFile(std::string_view from, std::string_view to, bool replace) {
  fs::path source = hostPath(from);
  fs::path target = hostPath(to);
  auto info = statOf(source);
  if (!info || S_ISDIR(info->st_mode) || target.empty()) return false;
  if (auto existing = statOf(target)) {
    if (!replace || S_ISDIR(existing->st_mode) || sameFile(source, target)) return false;
    if ((attributesOf(target, *existing) & kAttrReadOnly) != 0) return false;
  }
  fs::path working = workingSibling(target);
  std::error_code ec;
  if (!fs::copy_file(source, working, fs::copy_options::overwrite_existing, ec) ||
      ::rename(working.c_str(), target.c_str()) != 0) {
    fs::remove(working, ec);
    return false;
  }
  return true;
}

bool createFolder(std::string_view path) {
  fs::path host = hostPath(path);
  return !host.empty() && ::mkdir(host.c_str(), 0777) == 0;
}

bool removeFolder(std::string_view path) {
  fs::path host = hostPath(path);
  return !host.empty() && ::rmdir(host.c_str()) == 0;
}

bool wildcardMatch(std::string_view name, std::string_view pattern) {
  if (pattern == "*.*" || pattern == "*") return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      wildcardMatch(name, pattern.substr(0, pattern.size() - 2)))
    return true;
  size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = ++p;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || common::toLowerAnsi(pattern[p]) == common::toLowerAnsi(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> listDirectory(std::string_view pattern, uint32_t wanted) {
  pattern = common::cutAtNul(pattern);
  size_t cut = pattern.find_last_of("\\/");
  std::string_view folder = cut == std::string_view::npos ? std::string_view() : pattern.substr(0, cut + 1);
  std::string_view namePattern = cut == std::string_view::npos ? pattern : pattern.substr(cut + 1);
  if (folder.empty() && hasDriveLetter(namePattern)) {  // "c:*.mp3"
    folder = namePattern.substr(0, 2);
    namePattern.remove_prefix(2);
  }
  if (namePattern.empty()) namePattern = "*";
  fs::path host = folder.empty() ? fs::path(".") : hostPath(std::string(folder) + ".");
  std::vector<std::string> names;
  std::error_code ec;
  if (host.empty()) return names;
  for (const fs::directory_entry& entry : fs::directory_iterator(host, ec)) {
    std::string name = common::utf8ToAnsi(entry.path().filename().string());
    if (!wildcardMatch(name, namePattern)) continue;
    auto info = statOf(entry.path());
    if (!info) continue;
    uint32_t attrs = attributesOf(entry.path(), *info);
    if ((attrs & kAttrDirectory) != 0 && (wanted & kAttrDirectory) == 0) continue;
    if ((attrs & (kAttrHidden | kAttrSystem) & ~wanted) != 0) continue;
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return common::compareNoCase(a, b) < 0; });
  return names;
}

std::vector<FolderEntry> listFolder(std::string_view folder) {
  folder = common::cutAtNul(folder);
  bool posix = !folder.empty() && folder[0] == '/';
  std::vector<FolderEntry> entries;
  fs::path host = hostPath(folder);
  DIR* listing = host.empty() ? nullptr : ::opendir(host.c_str());
  if (listing == nullptr) return entries;
  int descriptor = ::dirfd(listing);
  while (const dirent* entry = ::readdir(listing)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isFolder = entry->d_type == DT_DIR;
    // The listing's own type saves a status call per entry; links and unknown types are looked at.
    if (entry->d_type != DT_DIR && entry->d_type != DT_REG) {
      struct stat info {};
      if (::fstatat(descriptor, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      bool link = S_ISLNK(info.st_mode);
      if (link && ::fstatat(descriptor, entry->d_name, &info, 0) != 0) continue;
      isFolder = S_ISDIR(info.st_mode);
      if ((isFolder && link) || (!isFolder && !S_ISREG(info.st_mode))) continue;
    }
    entries.push_back({posix ? std::move(name) : common::utf8ToAnsi(name), isFolder});
  }
  ::closedir(listing);
  auto key = [](const std::string& name) {
    std::string folded = name;
    for (char& c : folded)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
  };
  std::vector<std::pair<std::string, size_t>> keys;
  for (size_t i = 0; i < entries.size(); ++i) keys.emplace_back(key(entries[i].name), i);
  std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return entries[a.second].name < entries[b.second].name;
  });
  std::vector<FolderEntry> sorted;
  sorted.reserve(entries.size());
  for (const auto& [folded, index] : keys) sorted.push_back(std::move(entries[index]));
  return sorted;
}

std::optional<std::string> readFile(std::string_view path) {
  std::ifstream file(hostPath(path), std::ios::binary);
  if (!file) return std::nullopt;
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool writeFile(std::string_view path, std::string_view content) {
  std::ofstream file(hostPath(path), std::ios::binary | std::ios::trunc);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(file.flush());
}

}  // namespace platform
