// jobctl: the job client a host would be. It shows the host window while it runs, starts the worker when
// none runs in the prefix, writes a command message with a fresh order number and follows the status
// messages until the job ends or the worker disappears.

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/basic.h"
#include "common/text.h"
#include "platform/events.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/windows.h"
#include "taskhost/channel.h"
#include "taskhost/messages.h"
#include "taskhost/worker.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

enum ExitCode { kSuccess = 0, kJobFailed = 1, kUsage = 2, kWorkerGone = 3 };

constexpr int kPollMs = 10;
constexpr int kAnswerTimeoutMs = 10'000;
constexpr int kJobStartTimeoutMs = 5'000;

int usage() {
  std::fprintf(stderr,
               "usage: jobctl [--prefix DIR] COMMAND\n"
               "  decode SRC TGT [SRC TGT ...]            MP3 to WAV\n"
               "  encode SRC TGT [--bitrate K] [--quality 0|1]   WAV to MP3 (128 kbit/s, quality 1)\n"
               "  grab TRACK TGT [--mp3] [--quality 0|1]  a CD track to WAV (or MP3); quality 1 checks the reading\n"
               "  stop | end                              stop the job | end the worker\n"
               "  send KEY VALUE [KEY VALUE ...]          any message, keys in the given order\n"
               "  status                                  print the current status message\n"
               "  slot 0|1                                print a slot's raw content\n"
               "  window                                  show the host window until interrupted\n"
               "exit status: 0 done, 1 job failed or stopped, 2 usage, 3 worker gone or not answering\n");
  return kUsage;
}

struct Status {
  bool framed = false;
  bool fatal = false;  // the worker ended through its fatal exit
  std::map<std::string, std::string> values;

  std::string get(const std::string& key) const {
    auto found = values.find(key);
    return found == values.end() ? std::string() : found->second;
  }
  int number(const std::string& key) const { return common::leadingInt32(get(key)); }
};

class Host {
 public:
  Host() : window_(taskhost::kHostWindowClass, taskhost::kHostWindowTitle) {}

  Status readStatus() {
    std::string buffer(taskhost::kStatusBufferSize, '\0');
    channel_.KomGetString(buffer.data(), 1);
    Status status;
    std::string text(common::cutAtNul(buffer));
    status.fatal = text == "?";
    for (auto& [key, value] : taskhost::parseMessage(text)) {
      status.framed = true;
      status.values[common::lowerCase(key)] = value;
    }
    return status;
  }

  // The slot's bytes as stored (NULs included); empty when it never received text.
  std::optional<std::string> readSlot(int slot) {
    std::string buffer(slot == 0 ? taskhost::kReceiveBufferSize : taskhost::kStatusBufferSize, '\0');
    int32_t length = channel_.KomGetString(buffer.data(), slot);
    if (length < 0) return std::nullopt;
    return buffer.substr(0, static_cast<size_t>(length));
  }

  bool ensureWorker() {
    if (platform::instanceRunning("taskhost")) return true;
    std::string program = platform::programFolder() + "taskhost";
    if (platform::shellOpen(program, "", "", platform::ShowMode::Hidden) <= 32) {
      std::fprintf(stderr, "jobctl: cannot start %s\n", platform::hostPath(program).c_str());
      return false;
    }
    for (int waited = 0; waited < kAnswerTimeoutMs; waited += kPollMs) {
      if (platform::instanceRunning("taskhost")) return true;
      platform::sleepMs(kPollMs);
    }
    std::fprintf(stderr, "jobctl: the worker did not start\n");
    return false;
  }

  // Writes the message with a fresh order number first unless it names one; returns the order number.
  int send(Pairs pairs) {
    auto given = std::find_if(pairs.begin(), pairs.end(),
                              [](const auto& pair) { return common::equalsNoCase(pair.first, "Auftragsnummer"); });
    int order;
    if (given != pairs.end()) {
      order = common::leadingInt32(given->second);
    } else {
      order = freshOrderNumber();
      pairs.insert(pairs.begin(), {"Auftragsnummer", std::to_string(order)});
    }
    channel_.KomSetString(taskhost::buildMessage(pairs), 0);
    return order;
  }

 private:
  int freshOrderNumber() {
    std::mt19937 generator{std::random_device{}()};
    int current = readStatus().number("auftragsnummer");
    int order;
    do order = std::uniform_int_distribution<int>(1, 999'999)(generator);
    while (order == current);
    return order;
  }

  platform::TopLevelWindow window_;
  taskhost::Channel channel_;
};

class ProgressView {
 public:
  ProgressView() : terminal_(::isatty(STDOUT_FILENO) != 0) {}
  ~ProgressView() {
    if (terminal_ && drawn_) std::printf("\n");
  }

  void show(const std::string& state, int progress) {
    if (state == state_ && progress == progress_) return;
    state_ = state;
    progress_ = progress;
    if (!terminal_) {
      std::printf("%s %d\n", state.c_str(), progress);
    } else {
      constexpr int kWidth = 30;
      int filled = std::clamp(progress, 0, 1000) * kWidth / 1000;
      std::printf("\r[%s%s] %5.1f%% %-10s", std::string(filled, '#').c_str(), std::string(kWidth - filled, '.').c_str(),
                  progress / 10.0, state.c_str());
      drawn_ = true;
    }
    std::fflush(stdout);
  }

 private:
  bool terminal_;
  bool drawn_ = false;
  std::string state_ = "\x01";
  int progress_ = -1;
};

bool isJobCommand(const std::string& command) {
  for (const char* job : {"decode", "encode", "grabwav", "grabmp3", "burnaudio", "burniso", "cdcopy"})
    if (common::equalsNoCase(command, job)) return true;
  return false;
}

// Follows the status until the job's end; the exit code tells how it ended.
int follow(Host& host, int order, const std::string& command) {
  bool ending = common::equalsNoCase(command, "end") || common::equalsNoCase(command, "ende");
  bool answered = false, started = false;
  int sinceAnswer = 0;
  ProgressView view;
  for (int waited = 0;; waited += kPollMs) {
    platform::sleepMs(kPollMs);
    Status status = host.readStatus();
    bool running = platform::instanceRunning("taskhost");
    if (ending && !running) return std::printf("the worker has ended\n"), kSuccess;
    if (status.fatal || !running) return std::fprintf(stderr, "jobctl: the worker is gone\n"), kWorkerGone;
    if (!answered) {
      answered = status.framed && status.number("auftragsnummer") == order;
      if (!answered && !ending && !taskhost::isSentCommand(command) && waited >= 1000) {
        std::printf("sent; the worker reports no status while the command is \"%s\"\n", command.c_str());
        return kSuccess;
      }
      if (!answered && waited >= kAnswerTimeoutMs)
        return std::fprintf(stderr, "jobctl: the worker does not answer\n"), kWorkerGone;
      if (!answered) continue;
      std::printf("acknowledged: order %d\n", order);
    }
    sinceAnswer += kPollMs;
    if (status.number("auftragsnummer") != order)
      return std::fprintf(stderr, "\njobctl: another job replaced this one\n"), kJobFailed;
    std::string state = status.get("status");
    int progress = status.number("fortschritt");
    // The acknowledgement still names the previous job; a job's own reports start with its state.
    if (isJobCommand(command) ? common::equalsNoCase(state, command) : !state.empty()) view.show(state, progress);
    if (common::equalsNoCase(command, "stop") && common::equalsNoCase(state, "stop")) return kSuccess;
    if (!isJobCommand(command)) continue;
    if (common::equalsNoCase(state, command)) {
      started = true;
      if (progress >= 1000) {
        int error = status.number("fehlercode");
        if (error == 0) return kSuccess;
        std::fprintf(stderr, "\njobctl: the job ended with error code %d\n", error);
        return kJobFailed;
      }
    } else if (started) {
      return std::fprintf(stderr, "\njobctl: the job was stopped\n"), kJobFailed;
    } else if (sinceAnswer >= kJobStartTimeoutMs) {
      return std::fprintf(stderr, "\njobctl: the worker did not start the job\n"), kJobFailed;
    }
  }
}

// A path the user typed: drive paths go as they are; host paths become absolute, since the worker runs
// in another folder.
std::string jobPath(const std::string& typed) {
  if (platform::hasDriveLetter(typed) || typed.empty() || typed[0] == '/' || typed[0] == '\\') return typed;
  std::error_code ec;
  return std::filesystem::absolute(typed, ec).string();
}

int runJob(Host& host, Pairs pairs) {
  std::string command;
  for (const auto& [key, value] : pairs)
    if (common::equalsNoCase(key, "command")) command = value;
  bool ending = common::equalsNoCase(command, "end") || common::equalsNoCase(command, "ende");
  if (ending && !platform::instanceRunning("taskhost")) return std::printf("no worker runs\n"), kSuccess;
  if (!ending && !host.ensureWorker()) return kWorkerGone;
  int order = host.send(std::move(pairs));
  return follow(host, order, command);
}

std::string printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    char escaped[8];
    if (c == '\r') {
      out += "\\r";
    } else if (c < 32 || c == 127) {
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return common::ansiToUtf8(out);
}

int printStatus(Host& host) {
  Status status = host.readStatus();
  if (status.fatal) return std::printf("? (the worker ended through its fatal exit)\n"), kWorkerGone;
  if (!status.framed) return std::printf("no status message\n"), kSuccess;
  for (const char* key : {"Status", "Fortschritt", "Spielzeit", "Auftragsnummer", "Statusnummer", "Fehlercode", "ProcessID"})
    std::printf("%s: %s\n", key, common::ansiToUtf8(status.get(common::lowerCase(key))).c_str());
  return platform::instanceRunning("taskhost") ? kSuccess : kWorkerGone;
}

volatile std::sig_atomic_t interrupted = 0;

int showWindow() {
  std::signal(SIGINT, [](int) { interrupted = 1; });
  std::signal(SIGTERM, [](int) { interrupted = 1; });
  std::printf("host window shown; interrupt to close it\n");
  std::fflush(stdout);
  while (interrupted == 0) platform::sleepMs(100);
  return kSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "--prefix") {
    platform::usePrefix(args[1]);
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return usage();
  std::string command = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  Host host;

  if (command == "decode" && !rest.empty() && rest.size() % 2 == 0 && rest.size() <= 996) {
    Pairs pairs{{"command", "decode"}};
    for (size_t i = 0; i < rest.size(); ++i) pairs.push_back({"file" + common::zeroPadded(static_cast<long long>(i), 3), jobPath(rest[i])});
    return runJob(host, pairs);
  }
  if (command == "encode" && rest.size() >= 2) {
    std::string bitrate = "128", quality = "1";
    for (size_t i = 2; i < rest.size(); i += 2) {
      if (i + 1 >= rest.size()) return usage();
      if (rest[i] == "--bitrate") {
        bitrate = rest[i + 1];
      } else if (rest[i] == "--quality" && (rest[i + 1] == "0" || rest[i + 1] == "1")) {
        quality = rest[i + 1];
      } else {
        return usage();
      }
    }
    return runJob(host, {{"command", "encode"}, {"quality", quality}, {"speed", bitrate},
                         {"file000", jobPath(rest[0])}, {"file001", jobPath(rest[1])}});
  }
  if (command == "grab" && rest.size() >= 2) {
    int track = common::leadingInt32(rest[0]);
    bool mp3 = false;
    std::string quality = "1";
    for (size_t i = 2; i < rest.size(); ++i) {
      if (rest[i] == "--mp3") {
        mp3 = true;
      } else if (rest[i] == "--quality" && i + 1 < rest.size() && (rest[i + 1] == "0" || rest[i + 1] == "1")) {
        quality = rest[++i];
      } else {
        return usage();
      }
    }
    if (track < 1 || track > 99) return usage();
    return runJob(host, {{"command", mp3 ? "grabmp3" : "grabwav"}, {"speed", "128"}, {"quality", quality},
                         {"file000", "Track" + common::twoDigits(track) + ".cda"}, {"file001", jobPath(rest[1])}});
  }
  if ((command == "stop" || command == "end") && rest.empty()) return runJob(host, {{"command", command}});
  if (command == "send" && !rest.empty() && rest.size() % 2 == 0) {
    Pairs pairs;
    for (size_t i = 0; i < rest.size(); i += 2) pairs.push_back({rest[i], rest[i + 1]});
    return runJob(host, pairs);
  }
  if (command == "status" && rest.empty()) return printStatus(host);
  if (command == "slot" && rest.size() == 1 && (rest[0] == "0" || rest[0] == "1")) {
    auto content = host.readSlot(rest[0] == "0" ? 0 : 1);
    if (!content) return std::printf("slot %s never received text\n", rest[0].c_str()), kSuccess;
    std::printf("%zu bytes: %s\n", content->size(), printable(*content).c_str());
    return kSuccess;
  }
  if (command == "window" && rest.empty()) return showWindow();
  return usage();
}
