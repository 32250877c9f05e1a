#include "outside/eclient/eclient.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "common/text.h"

namespace {

struct Variable {
  std::string type, name, variable, value;
};

std::mutex storeMutex;
std::vector<Variable> variables;  // in the order first set
std::vector<Variable> writes;     // the controls' writes not yet taken by the host

const char* text(const char* value) { return value != nullptr ? value : ""; }

void store(const char* type, const char* name, const char* variable, const char* value) {
  auto same = [&](const Variable& v) {
    return common::equalsNoCase(v.type, text(type)) && common::equalsNoCase(v.name, text(name)) &&
           common::equalsNoCase(v.variable, text(variable));
  };
  auto found = std::find_if(variables.begin(), variables.end(), same);
  if (found != variables.end()) {
    found->value = text(value);
  } else {
    variables.push_back({text(type), text(name), text(variable), text(value)});
  }
}

}  // namespace

extern "C" {

int32_t eclientLoad(const char*) { return 1; }
int32_t eclientUnload() { return 1; }
int32_t eclientDebugOn() { return 0; }
int32_t eclientDebugOff() { return 0; }

int32_t eclientSetVar(const char* type, const char* name, const char* variable, const char* value) {
  std::lock_guard lock(storeMutex);
  store(type, name, variable, value);
  writes.push_back({text(type), text(name), text(variable), text(value)});
  return 1;
}

int32_t eclientGetVar(const char* type, const char* name, const char* variable, char* result, int32_t resultSize) {
  std::lock_guard lock(storeMutex);
  std::string value = kEclientNoValue;
  for (const Variable& v : variables)
    if (common::equalsNoCase(v.type, text(type)) && common::equalsNoCase(v.name, text(name)) &&
        common::equalsNoCase(v.variable, text(variable)))
      value = v.value;
  if (result != nullptr && resultSize > 0) {
    size_t length = std::min(value.size(), static_cast<size_t>(resultSize) - 1);
    std::memcpy(result, value.data(), length);
    result[length] = '\0';
  }
  return static_cast<int32_t>(value.size());
}

int32_t eclientHostSetVar(const char* type, const char* name, const char* variable, const char* value) {
  std::lock_guard lock(storeMutex);
  store(type, name, variable, value);
  return 1;
}

int32_t eclientHostList(EclientVisitor visitor, void* context) {
  std::vector<Variable> copy;
  {
    std::lock_guard lock(storeMutex);
    copy = variables;
  }
  for (const Variable& v : copy)
    visitor(context, v.type.c_str(), v.name.c_str(), v.variable.c_str(), v.value.c_str());
  return static_cast<int32_t>(copy.size());
}

int32_t eclientHostTakeWrites(EclientVisitor visitor, void* context) {
  std::vector<Variable> taken;
  {
    std::lock_guard lock(storeMutex);
    taken.swap(writes);
  }
  for (const Variable& v : taken)
    visitor(context, v.type.c_str(), v.name.c_str(), v.variable.c_str(), v.value.c_str());
  return static_cast<int32_t>(taken.size());
}
}
