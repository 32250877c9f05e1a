// taskhost: the job worker. Started by the host (hidden) or with "test" (its window is this terminal).

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "common/text.h"
#include "platform/events.h"
#include "platform/process.h"
#include "platform/windows.h"
#include "taskhost/console.h"
#include "taskhost/jobs.h"
#include "taskhost/worker.h"

namespace {

[[noreturn]] void endProcess(int code) {
  std::fflush(stdout);
  std::_Exit(code);
}

// Termination signals close the main window, as closing it on the desktop would.
void closeOnSignals(taskhost::Worker& worker) {
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, &worker] {
    int received = 0;
    sigwait(&signals, &received);
    platform::post([&worker] {
      worker.close();
      endProcess(0);
    });
  }).detach();
}

void readConsoleInput(taskhost::TestConsole& console, taskhost::Worker& worker) {
  std::thread([&console, &worker] {
    std::string line;
    while (std::getline(std::cin, line)) {
      platform::post([&console, &worker, line] {
        if (!console.handleInput(worker, line)) {
          worker.close();
          endProcess(0);
        }
      });
    }
    platform::post([&worker] {  // the console went away: the window closes
      worker.close();
      endProcess(0);
    });
  }).detach();
}

}  // namespace

int main() {
  platform::SingleInstance instance("taskhost");
  if (!instance.first()) return 0;
  bool testMode = common::equalsNoCase(common::trimBlanks(platform::commandLine()), "test");

  taskhost::Channel channel;
  taskhost::WorkerExecutors executors;
  taskhost::TestConsole console;
  taskhost::Worker worker(channel, executors, testMode, testMode ? console.view() : taskhost::Worker::View{},
                          endProcess);
  executors.attach(worker);
  closeOnSignals(worker);
  if (testMode) {
    console.show();
    readConsoleInput(console, worker);
  }
  worker.start();
  platform::run();
  return 0;
}
