#include "platform/process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/text.h"
#include "platform/paths.h"

extern char** environ;

namespace platform {
namespace fs = std::filesystem;

namespace {

constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kNoAssociation = 31;
constexpr int kStarted = 42;

std::vector<std::string> splitParameters(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, inWord = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

bool isProgram(const fs::path& host) {
  struct stat info {};
  return ::stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(host.c_str(), X_OK) == 0;
}

fs::path findOnPath(const char* name) {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= dirs.size();) {
    size_t end = dirs.find(':', start);
    fs::path candidate = fs::path(std::string(dirs.substr(start, end - start))) / name;
    if (isProgram(candidate)) return candidate;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return {};
}

// Starts argv detached from this process (its own session, reaped at once), so that nothing waits for it
// and no zombie is left.
bool spawnDetached(const std::vector<std::string>& argv, const fs::path& folder, ShowMode show) {
  // The started program works in the same prefix as its starter, whichever way the starter chose it.
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string_view entry(*e);
    if (entry.rfind("WAVEDESK_SHOW=", 0) != 0 && entry.rfind("WAVEDESK_PREFIX=", 0) != 0) env.emplace_back(entry);
  }
  env.push_back(std::string("WAVEDESK_SHOW=") + (show == ShowMode::Hidden ? "hidden" : "normal"));
  env.push_back("WAVEDESK_PREFIX=" + machine()->prefix().string());
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  args.push_back(nullptr);
  envp.push_back(nullptr);
  std::string dir = folder.string();
  bool hidden = show == ShowMode::Hidden;

  pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    if (::fork() == 0) {
      // The started program shares nothing with its starter: no pipes that would keep a reader of the
      // starter's output waiting, and no console at all when it runs hidden.
      int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        if (hidden) {
          ::dup2(null, STDOUT_FILENO);
          ::dup2(null, STDERR_FILENO);
        }
      }
      ::close_range(3, ~0u, 0);
      if (!dir.empty() && ::chdir(dir.c_str()) != 0) ::_exit(127);
      ::execve(args[0], args.data(), envp.data());
      ::_exit(127);
    }
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace

int processId() { return static_cast<int>(::getpid()); }

bool setPriorityNormal() { return ::setpriority(PRIO_PROCESS, 0, 0) == 0 || ::getpriority(PRIO_PROCESS, 0) == 0; }

std::string commandLine() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  size_t first = raw.find('\0');
  if (first == std::string::npos) return {};
  std::string line = raw.substr(first + 1);
  while (!line.empty() && line.back() == '\0') line.pop_back();
  for (char& c : line)
    if (c == '\0') c = ' ';
  return line;
}

int shellOpen(std::string_view file, std::string_view parameters, std::string_view workingFolder, ShowMode show) {
  fs::path target = hostPath(file);
  std::error_code ec;
  if (!fs::exists(target, ec) && common::endsWithNoCase(file, ".exe"))
    target = hostPath(file.substr(0, file.size() - 4));
  if (target.empty() || !fs::exists(target.parent_path().empty() ? "." : target.parent_path(), ec))
    return kPathNotFound;
  if (!fs::exists(target, ec)) return kFileNotFound;
  fs::path folder = workingFolder.empty() ? target.parent_path() : hostPath(workingFolder);
  if (!fs::is_directory(folder.empty() ? "." : folder, ec)) return kPathNotFound;

  std::vector<std::string> argv;
  if (isProgram(target)) {
    argv.push_back(fs::absolute(target, ec).string());
    for (auto& word : splitParameters(parameters)) argv.push_back(std::move(word));
  } else {
    fs::path opener = findOnPath("xdg-open");
    if (opener.empty()) return kNoAssociation;
    argv = {opener.string(), fs::absolute(target, ec).string()};
  }
  return spawnDetached(argv, folder, show) ? kStarted : kAccessDenied;
}

}  // namespace platform
