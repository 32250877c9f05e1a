#include "platform/library.h"

#include <dlfcn.h>

#include <filesystem>

#include "common/text.h"
#include "platform/paths.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

// "C:\x\QMXMP3CDLIB.DLL" -> "QMXMP3CDLIB.so": the last component with its extension replaced.
std::string sharedObjectName(std::string_view windowsFileName) {
  size_t slash = windowsFileName.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? windowsFileName : windowsFileName.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name) + ".so";
}

}  // namespace

BoundLibrary::BoundLibrary(std::string_view windowsFileName) : fileName_(sharedObjectName(windowsFileName)) {}

BoundLibrary::~BoundLibrary() {
  // Libraries stay loaded to the end of the process, as bound DLLs do: functions taken from them may
  // still be referenced (callbacks, threads they started).
}

void BoundLibrary::load() {
  tried_ = true;
  fs::path path = hostPath(programFolder() + fileName_);
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* BoundLibrary::symbol(const char* name) {
  std::lock_guard lock(mutex_);
  if (!tried_) load();
  if (handle_ == nullptr) return nullptr;
  auto found = symbols_.find(name);
  if (found != symbols_.end()) return found->second;
  void* address = ::dlsym(handle_, name);
  symbols_.emplace(name, address);
  return address;
}

bool BoundLibrary::available() {
  std::lock_guard lock(mutex_);
  if (!tried_) load();
  return handle_ != nullptr;
}

}  // namespace platform
