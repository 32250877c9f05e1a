#include "platform/controls.h"

#include "common/text.h"

namespace platform {

ControlBase::ControlBase() {
  addProperty("Typ", &typ_);
  addProperty("Name", &name_);
}

void ControlBase::addProperty(std::string name, std::string* field) { properties_[common::lowerCase(name)] = field; }

void ControlBase::addMethod(std::string name, Method method) { methods_[common::lowerCase(name)] = std::move(method); }

void ControlBase::addMethod(std::string name, std::function<void(std::string& value)> method) {
  addMethod(std::move(name), Method([method = std::move(method)](std::vector<std::string>& arguments) {
    if (arguments.empty()) arguments.emplace_back();
    method(arguments[0]);
    return std::optional<std::string>();
  }));
}

bool ControlBase::setProperty(std::string_view name, const std::string& value) {
  auto found = properties_.find(common::lowerCase(name));
  if (found == properties_.end()) return false;
  *found->second = value;
  return true;
}

std::optional<std::string> ControlBase::property(std::string_view name) const {
  auto found = properties_.find(common::lowerCase(name));
  if (found == properties_.end()) return std::nullopt;
  return *found->second;
}

MethodResult ControlBase::call(std::string_view method, std::vector<std::string>& arguments) {
  auto found = methods_.find(common::lowerCase(method));
  if (found == methods_.end()) return {};
  MethodResult result{true, std::nullopt};
  try {
    result.value = found->second(arguments);
  } catch (...) {
    // A failing statement ends the method here; the host sees the arguments as far as they got.
  }
  return result;
}

}  // namespace platform
