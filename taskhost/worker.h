#pragma once
// The worker's main form: start-up, the timer loop, polling and dispatch of jobs, status reports, the
// watchdog on the host window, stopping and ending.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/events.h"
#include "taskhost/channel.h"
#include "taskhost/executors.h"
#include "taskhost/messages.h"

namespace taskhost {

inline constexpr char kHostWindowClass[] = "window 0";
inline constexpr char kHostWindowTitle[] = "Sonvia Wavedesk";

class Worker {
 public:
  // What the main window shows; it is visible only in test mode.
  struct View {
    std::function<void(const std::string&)> addLog;       // the log list
    std::function<void(const std::string&)> showCommand;  // the "Befehl" label
    std::function<void(const std::string&)> showStatus;   // the "Status" label
  };
  using ExitProcess = std::function<void(int code)>;

  Worker(Channel& channel, JobExecutors& executors, bool testMode, View view, ExitProcess exitProcess);

  // Start-up after the single-instance check: the record's defaults, the temporary file name, the
  // channel, the process id, and the two timers.
  void start();

  void Timer1Tick();
  void TempTimer2Tick();
  void SendStatus();
  void UpdateProgress();
  void CheckForJob();
  void StopCurrentJob();
  // The fatal exit when the conversion library answers 2000.
  void EndWorker();
  // Closing the main window.
  void close();
  void WatchdogCheck();
  void Log(const std::string& text);

  // Writes a command message into slot 0 as the host would (test buttons, the watchdog).
  void writeCommand(const std::vector<std::pair<std::string, std::string>>& pairs);

  JobRequest& request() { return request_; }
  JobStatus& status() { return status_; }
  Channel& channel() { return channel_; }
  bool testMode() const { return testMode_; }
  const std::string& tempFile() const { return tempFile_; }
  int hostMissing() const { return hostMissing_; }
  int hostMissingLimit() const { return hostMissingLimit_; }
  bool ended() const { return ended_; }
  int statusDepth() const { return statusDepth_; }

 private:
  void dispatch();
  void endOnCommand();
  void exitNow();

  Channel& channel_;
  JobExecutors& executors_;
  bool testMode_;
  View view_;
  ExitProcess exitProcess_;
  JobRequest request_;
  JobStatus status_;
  CommandReader reader_;
  std::string tempFile_;
  int statusDepth_ = 0;
  int hostMissing_ = 0;
  int hostMissingLimit_ = 60;
  int encodeTicks_ = 0;
  int watchdogTicks_ = 0;
  bool ended_ = false;
  std::unique_ptr<platform::Timer> timer1_;
  std::unique_ptr<platform::Timer> tempTimer2_;
};

// A temporary file name "qmx_mpNN.tmp" in a folder with room enough; the file itself is not created.
std::string MakeTempName(int n);
// Free megabytes of the fixed drive a path lies on; 0 for any other kind of drive.
int64_t FreeMegabytes(std::string_view path);

}  // namespace taskhost
