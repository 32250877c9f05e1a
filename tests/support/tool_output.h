#pragma once
// Runs a program of the machine (a peer tool such as sox or ffprobe) and gives back what it printed.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace testsupport {

// True when the program is on the PATH.
inline bool toolInstalled(std::string_view name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');)
    if (!folder.empty() && ::access((std::filesystem::path(folder) / name).c_str(), X_OK) == 0) return true;
  return false;
}

// A host path as one shell word.
inline std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The standard output of a command line run by the shell; empty when it failed.
inline std::optional<std::string> toolOutput(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
  if (::pclose(pipe) != 0) return std::nullopt;
  return out;
}

}  // namespace testsupport
