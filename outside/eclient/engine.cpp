#include "outside/eclient/engine.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace eclient {

using GetVar = int32_t(const char*, const char*, const char*, char*, int32_t);

void Engine::load(const std::string& engineName) { library_.call<int32_t(const char*)>("eclientLoad", engineName.c_str()); }

void Engine::unload() { library_.call<int32_t()>("eclientUnload"); }

void Engine::setVar(const std::string& type, const std::string& name, const std::string& variable,
                    const std::string& value) {
  library_.call<int32_t(const char*, const char*, const char*, const char*)>("eclientSetVar", type.c_str(), name.c_str(),
                                                                            variable.c_str(), value.c_str());
}

std::string Engine::getVar(const std::string& type, const std::string& name, const std::string& variable) {
  std::vector<char> buffer(1024, '\0');
  int32_t length = library_.callOr<GetVar>(-1, "eclientGetVar", type.c_str(), name.c_str(), variable.c_str(),
                                           buffer.data(), static_cast<int32_t>(buffer.size()));
  if (length < 0) return {};
  if (static_cast<size_t>(length) >= buffer.size()) {
    buffer.assign(static_cast<size_t>(length) + 1, '\0');
    length = library_.call<GetVar>("eclientGetVar", type.c_str(), name.c_str(), variable.c_str(), buffer.data(),
                                   static_cast<int32_t>(buffer.size()));
  }
  return std::string(buffer.data(), std::min(static_cast<size_t>(length), buffer.size() - 1));
}

}  // namespace eclient
