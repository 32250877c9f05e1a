// ctlhost: hosts the suite's controls for people and tests. Commands come one per line from the file
// named on the command line or from standard input; every command is answered by one line starting with
// "ok" or "error" (list commands print their lines first). See README.md.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/basic.h"
#include "common/text.h"
#include "outside/eclient/eclient.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/events.h"
#include "platform/input.h"
#include "platform/library.h"
#include "platform/paths.h"
#include "tools/ctlhost/commands.h"

namespace {

using ctlhost::quote;
using Tokens = std::vector<std::string>;

class Host {
 public:
  // Runs one command line; false when the session is to end.
  bool run(const std::string& line);

 private:
  void answer(const std::string& text) { std::printf("%s\n", text.c_str()); }
  void error(const std::string& reason) { answer("error " + reason); }
  // A reason and what it is about ("no control", "\"x\""), joined by a blank.
  void error(const char* reason, const std::string& about) {
    std::string text = reason;
    text += ' ';
    text += about;
    error(text);
  }

  void create(const Tokens& t);
  void call(const Tokens& t);
  void variables(const Tokens& t);
  platform::Control* control(const std::string& name);
  platform::BoundLibrary& library(const std::string& name);

  std::map<std::string, std::unique_ptr<platform::BoundLibrary>> libraries_;
  std::map<std::string, std::unique_ptr<platform::Control>> controls_;  // keys lower-cased
  platform::BoundLibrary engine_{"eclient.dll"};
};

platform::BoundLibrary& Host::library(const std::string& name) {
  std::string key = common::lowerCase(name);
  auto& slot = libraries_[key];
  if (!slot) slot = std::make_unique<platform::BoundLibrary>(name);
  return *slot;
}

platform::Control* Host::control(const std::string& name) {
  auto found = controls_.find(common::lowerCase(name));
  return found == controls_.end() ? nullptr : found->second.get();
}

void Host::create(const Tokens& t) {
  if (control(t[1]) != nullptr) return error("a control named", quote(t[1]) + " exists");
  platform::BoundLibrary& lib = library(t[2]);
  if (!lib.available()) return error("no library", quote(lib.fileName()));
  auto* make = lib.function<platform::CreateControlFunction>(platform::kCreateControlExport);
  if (make == nullptr) return error(quote(lib.fileName()) + " makes no controls");
  platform::Control* made = make(t[3].c_str());
  if (made == nullptr) return error("no class", quote(t[3]) + " in " + quote(lib.fileName()));
  controls_[common::lowerCase(t[1])].reset(made);
  answer("ok");
}

void Host::call(const Tokens& t) {
  platform::Control* target = control(t[1]);
  if (target == nullptr) return error("no control", quote(t[1]));
  Tokens arguments(t.begin() + 3, t.end());
  platform::MethodResult result = target->call(t[2], arguments);
  if (!result.found) return error("no method", quote(t[2]));
  std::string line = "ok";
  for (const std::string& argument : arguments) (line += ' ') += quote(argument);
  if (result.value) (line += " => ") += quote(*result.value);
  answer(line);
}

struct Lines {
  const char* word;
  int count = 0;
};

void printVariable(void* context, const char* type, const char* name, const char* variable, const char* value) {
  auto* lines = static_cast<Lines*>(context);
  std::printf("%s %s %s %s %s\n", lines->word, quote(type).c_str(), quote(name).c_str(), quote(variable).c_str(),
              quote(value).c_str());
  ++lines->count;
}

void Host::variables(const Tokens& t) {
  using Visit = int32_t(EclientVisitor, void*);
  std::string what = t.size() > 1 ? common::lowerCase(t[1]) : "";
  if (!engine_.available()) return error("no engine library", quote(engine_.fileName()));
  if (what == "set" && t.size() == 6) {
    engine_.call<int32_t(const char*, const char*, const char*, const char*)>("eclientHostSetVar", t[2].c_str(),
                                                                             t[3].c_str(), t[4].c_str(), t[5].c_str());
    return answer("ok");
  }
  if (what == "get" && t.size() == 5) {
    std::vector<char> buffer(1 << 16, '\0');
    int32_t length = engine_.call<int32_t(const char*, const char*, const char*, char*, int32_t)>(
        "eclientGetVar", t[2].c_str(), t[3].c_str(), t[4].c_str(), buffer.data(), static_cast<int32_t>(buffer.size()));
    if (static_cast<size_t>(length) >= buffer.size()) {
      buffer.assign(static_cast<size_t>(length) + 1, '\0');
      engine_.call<int32_t(const char*, const char*, const char*, char*, int32_t)>(
          "eclientGetVar", t[2].c_str(), t[3].c_str(), t[4].c_str(), buffer.data(), static_cast<int32_t>(buffer.size()));
    }
    return answer("ok " + quote(std::string(buffer.data(), static_cast<size_t>(std::max(length, 0)))));
  }
  if ((what == "list" || what == "writes") && t.size() == 2) {
    Lines lines{what == "list" ? "var" : "write"};
    engine_.call<Visit>(what == "list" ? "eclientHostList" : "eclientHostTakeWrites", &printVariable, &lines);
    return answer("ok " + std::to_string(lines.count));
  }
  error("usage: var set TYPE NAME VARIABLE VALUE | var get TYPE NAME VARIABLE | var list | var writes");
}

bool Host::run(const std::string& line) {
  auto tokens = ctlhost::tokenize(line);
  if (!tokens) {
    error("unclosed quote or bad escape");
    return true;
  }
  const Tokens& t = *tokens;
  if (t.empty()) return true;
  std::string command = common::lowerCase(t[0]);
  if (command == "create" && t.size() == 4) {
    create(t);
  } else if (command == "set" && t.size() == 4) {
    platform::Control* target = control(t[1]);
    if (target == nullptr) {
      error("no control", quote(t[1]));
    } else if (!target->setProperty(t[2], t[3])) {
      error("no property", quote(t[2]));
    } else {
      answer("ok");
    }
  } else if (command == "get" && t.size() == 3) {
    platform::Control* target = control(t[1]);
    auto value = target != nullptr ? target->property(t[2]) : std::nullopt;
    if (target == nullptr) {
      error("no control", quote(t[1]));
    } else if (!value) {
      error("no property", quote(t[2]));
    } else {
      answer("ok " + quote(*value));
    }
  } else if (command == "call" && t.size() >= 3) {
    call(t);
  } else if (command == "destroy" && t.size() == 2) {
    if (controls_.erase(common::lowerCase(t[1])) == 0) {
      error("no control", quote(t[1]));
    } else {
      answer("ok");
    }
  } else if (command == "var") {
    variables(t);
  } else if (command == "pump" && t.size() == 2) {
    platform::run(std::max(0, common::leadingInt32(t[1])));
    answer("ok");
  } else if (command == "key" && (t.size() == 2 || (t.size() == 4 && common::equalsNoCase(t[2], "after")))) {
    std::string key = common::lowerCase(t[1]);
    int after = t.size() == 4 ? common::leadingInt32(t[3]) : 1;
    if ((key != "esc" && key != "escape" && key != "f4") || after < 1) {
      error("usage: key esc|f4 [after N], N from 1");
    } else {
      platform::pressKey(key == "f4" ? platform::Key::F4 : platform::Key::Escape, after);
      answer("ok");
    }
  } else if (command == "answer" && t.size() == 3) {
    auto kind = platform::dialogKindNamed(t[1]);
    if (!kind) {
      error("no dialog kind", quote(t[1]) + " (open, save, font, color, message)");
    } else {
      platform::queueDialogAnswer(*kind, t[2]);
      answer("ok");
    }
  } else if (command == "quit" && t.size() == 1) {
    answer("ok");
    return false;
  } else {
    error("unknown command or wrong number of arguments:", quote(t[0]));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string script;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--prefix" && i + 1 < args.size()) {
      platform::usePrefix(args[++i]);
    } else if (args[i] == "--virtual-clock") {
      platform::useVirtualClock();
    } else if (script.empty() && args[i].rfind("--", 0) != 0) {
      script = args[i];
    } else {
      std::fprintf(stderr, "usage: ctlhost [--prefix DIR] [--virtual-clock] [COMMAND-FILE]\n");
      return 2;
    }
  }
  std::ifstream file;
  if (!script.empty()) {
    file.open(script, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "ctlhost: cannot read %s\n", script.c_str());
      return 2;
    }
  }
  std::istream& input = script.empty() ? std::cin : file;
  Host host;
  std::string line;
  while (std::getline(input, line)) {
    bool goOn = host.run(line);
    std::fflush(stdout);
    if (!goOn) break;
  }
  return 0;
}
