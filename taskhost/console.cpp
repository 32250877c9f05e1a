#include "taskhost/console.h"

#include <cstdio>
#include <vector>

#include "common/text.h"
#include "taskhost/messages.h"

namespace taskhost {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

constexpr TestButton kButtons[] = {
    {"CDCopy", "CD Copy"},
    {"Decode", "Decode c:\\test1.mp3 test1.wav"},
    {"Grabi", "grabmp3 track01->c:\\t.wav"},
    {"Stop", "stop"},
    {"encode", "Encode c:\\test.wav c:\\test.mp3"},
    {"End", "End"},
};

std::string randomOrder() { return std::to_string(randomNumberTo10000()); }

Pairs messageOf(std::string_view name) {
  if (name == "CDCopy") return {{"Auftragsnummer", randomOrder()}, {"speed", "99"}, {"command", "cdcopy"}};
  if (name == "Decode")
    return {{"Auftragsnummer", "12"}, {"command", "decode"}, {"file000", "c:\\test1.mp3"}, {"file001", "c:\\test1.wav"}};
  if (name == "Grabi")
    return {{"Auftragsnummer", randomOrder()}, {"command", "grabwav"},       {"speed", "128"},
            {"quality", "1"},                  {"file000", "Track01.cda"}, {"file001", "c:\\track001a.wav"}};
  if (name == "Stop") return {{"Auftragsnummer", "23"}, {"command", "stop"}};
  if (name == "encode")
    return {{"Auftragsnummer", "12"}, {"command", "encode"},          {"quality", "1"},
            {"speed", "128"},         {"file000", "c:\\test1.wav"}, {"file001", "c:\\test1.mp3"}};
  return {{"Auftragsnummer", "99"}, {"command", "end"}};
}

// Messages hold CRs; on the terminal each line of a message is shown after a " | ".
std::string shown(const std::string& text) {
  std::string out = common::ansiToUtf8(text);
  for (size_t at = out.find('\r'); at != std::string::npos; at = out.find('\r', at + 3)) out.replace(at, 1, " | ");
  return out;
}

}  // namespace

void TestConsole::show() {
  std::printf("SonviaWavedeskw2 (test mode)\nButtons, clicked by typing the name or the caption:\n");
  for (const TestButton& button : kButtons) std::printf("  %-7s %s\n", button.name, button.caption);
  std::printf("Type \"close\" to close the window.\n");
  print("Befehl", "");
  print("Status", "");
}

Worker::View TestConsole::view() {
  return {[this](const std::string& text) { print("log", text); },
          [this](const std::string& text) {
            if (text != command_) print("Befehl", command_ = text);
          },
          [this](const std::string& text) {
            if (text != status_) print("Status", status_ = text);
          }};
}

void TestConsole::print(const char* label, const std::string& text) {
  std::printf("%-7s %s\n", label, shown(text).c_str());
  std::fflush(stdout);
}

bool TestConsole::click(Worker& worker, std::string_view typed) {
  typed = common::trimBlanks(typed);
  for (const TestButton& button : kButtons) {
    if (!common::equalsNoCase(typed, button.name) && !common::equalsNoCase(typed, button.caption)) continue;
    worker.writeCommand(messageOf(button.name));
    if (std::string_view(button.name) != "CDCopy") worker.Log("Befehl 0!!!");
    return true;
  }
  return false;
}

bool TestConsole::handleInput(Worker& worker, std::string_view line) {
  std::string_view typed = common::trimBlanks(line);
  if (!typed.empty() && typed.back() == '\r') typed.remove_suffix(1);
  if (common::equalsNoCase(typed, "close")) return false;
  if (!typed.empty() && !click(worker, typed)) print("console", "no button \"" + std::string(typed) + "\"");
  return true;
}

}  // namespace taskhost
