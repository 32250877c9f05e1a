// A control for the hosting tests: a property, methods that change their by-reference arguments, return
// a value, publish an engine variable, fail half-way, and watch the Esc key.
#include <stdexcept>

#include "common/text.h"
#include "outside/eclient/engine.h"
#include "platform/controls.h"
#include "platform/input.h"

namespace {

class EchoControl : public platform::ControlBase {
 public:
  EchoControl() {
    addProperty("Text", &text_);
    addMethod("onUpper", [](std::string& value) { value = common::upperCase(value); });
    addMethod("Sum", Method([](std::vector<std::string>& args) -> std::optional<std::string> {
                if (args.size() != 2) throw std::invalid_argument("two numbers");
                return std::to_string(std::stoi(args[0]) + std::stoi(args[1]));
              }));
    addMethod("onPublish", [this](std::string& value) {
      engine_.setVar(typ(), name(), "Echo", value);
      engine_.setVar(typ(), name(), "Text", text_);
    });
    addMethod("onFail", [](std::string& value) {
      value = "partial";
      throw std::runtime_error("a failing statement");
    });
    addMethod("onCountChecks", [](std::string& value) {
      int checks = 1;
      while (!platform::keyDownOrPressed(platform::Key::Escape) && checks < 100) ++checks;
      value = std::to_string(checks);
    });
  }

 private:
  std::string text_;
  eclient::Engine engine_;
};

}  // namespace

extern "C" platform::Control* wdCreateControl(const char* className) {
  if (common::equalsNoCase(className, "Echo")) return new EchoControl();
  return nullptr;
}
