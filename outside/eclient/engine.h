#pragma once
// How a control reaches the engine's variables: through "eclient.dll", bound by name at the first call,
// with the control's Typ and Name as the first two keys.

#include <string>
#include <string_view>

#include "platform/library.h"

namespace eclient {

class Engine {
 public:
  Engine() : library_("eclient.dll") {}

  void load(const std::string& engineName);
  void unload();
  void setVar(const std::string& type, const std::string& name, const std::string& variable, const std::string& value);
  // The value, or "$%$" when it was never set; empty when the engine is not there at all.
  std::string getVar(const std::string& type, const std::string& name, const std::string& variable);

 private:
  platform::BoundLibrary library_;
};

}  // namespace eclient
