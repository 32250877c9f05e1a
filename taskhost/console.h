#pragma once
// The test console: in test mode the worker's window is this terminal. It shows the log list and the
// command and status labels as they change, and "clicks" a test button when its name or caption is typed.

#include <string>
#include <string_view>

#include "taskhost/worker.h"

namespace taskhost {


struct TestButton {
  const char* name;
  const char* caption;
};

class TestConsole {
 public:
  // Prints the window: its caption, the labels and the buttons.
  void show();
  Worker::View view();
  // Handles one typed line: a button name or caption clicks it; "close" closes the window. Returns false
  // when the window is to close.
  bool handleInput(Worker& worker, std::string_view line);
  // Writes the button's command message into slot 0 exactly as the host would.
  static bool click(Worker& worker, std::string_view button);

 private:
  void print(const char* label, const std::string& text);
  std::string command_;
  std::string status_;
};

}  // namespace taskhost
