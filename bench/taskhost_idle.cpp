// The worker at rest: CPU used while it polls an idle channel (over BENCH_IDLE_SECONDS, default 60), and
// how soon a new job is acknowledged after the host writes it, in timer ticks of 200 ms.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "platform/library.h"
#include "platform/paths.h"
#include "platform/windows.h"
#include "taskhost/messages.h"

namespace {

// User and system CPU seconds of a process so far.
double cpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::vector<std::string> fields;
  std::string field;
  for (char c : text.substr(close + 2)) {
    if (c == ' ') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  if (fields.size() < 13) return 0;
  return (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace

int main() {
  const char* secondsText = std::getenv("BENCH_IDLE_SECONDS");
  int seconds = secondsText != nullptr ? std::max(1, std::atoi(secondsText)) : 60;
  const std::string prefix = bench::scratchFolder().string();
  if (prefix.empty()) return 1;
  ::setenv("WAVEDESK_PREFIX", prefix.c_str(), 1);
  platform::usePrefix(prefix);
  platform::TopLevelWindow host("window 0", "Sonvia Wavedesk");

  std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin";
  ::setenv("WAVEDESK_PROGRAM_DIR", bin.c_str(), 1);  // the channel library is bound from the suite's folder
  std::filesystem::path program = bin / "taskhost";
  pid_t worker = ::fork();
  if (worker == 0) {
    ::execl(program.c_str(), program.c_str(), nullptr);
    ::_exit(127);
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));

  double before = cpuSeconds(worker);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  double used = cpuSeconds(worker) - before;
  std::printf("idle polling: %.3f s of CPU in %d s = %.3f%% of a core\n", used, seconds, 100.0 * used / seconds);

  platform::BoundLibrary kom("qmx_kom.dll");
  using SetString = int32_t(const char*, int32_t);
  using GetString = int32_t(char*, int32_t);
  std::vector<double> ticks;
  for (int job = 1; job <= 20; ++job) {
    std::string message = taskhost::buildMessage({{"Auftragsnummer", std::to_string(job)}, {"command", "stop"}});
    auto written = std::chrono::steady_clock::now();
    kom.call<SetString>("KomSetString", message.c_str(), 0);
    std::string buffer(6000, '\0');
    std::string expected = "\rAuftragsnummer\r" + std::to_string(job) + "\r";
    while (std::chrono::steady_clock::now() - written < std::chrono::seconds(5)) {
      kom.call<GetString>("KomGetString", buffer.data(), 1);
      if (buffer.find(expected) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - written).count();
    ticks.push_back(ms / 200.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(137 * job % 200));
  }
  std::sort(ticks.begin(), ticks.end());
  std::printf("acknowledgement after the host's write: median %.2f ticks, worst %.2f ticks (limit 2)\n",
              ticks[ticks.size() / 2], ticks.back());

  kom.call<SetString>("KomSetString", taskhost::buildMessage({{"Auftragsnummer", "0"}, {"command", "end"}}).c_str(), 0);
  int status = 0;
  for (int i = 0; i < 50 && ::waitpid(worker, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ::kill(worker, SIGKILL);
  ::waitpid(worker, &status, 0);
  std::filesystem::remove_all(prefix);
  return ticks.back() <= 2.0 ? 0 : 1;
}
