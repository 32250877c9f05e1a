// Components are "installed" by being present in the system folder; there is no registry to update.

#include "outside/qmx_kom/qmx_kom.h"
#include "platform/files.h"

extern "C" {

int32_t InstallRegFast(const char* sourcePath, const char* systemPath) {
  if (sourcePath == nullptr || systemPath == nullptr) return 0;
  if (platform::fileExists(systemPath)) return 1;
  return platform::copyFile(sourcePath, systemPath) ? 1 : 0;
}

int32_t InstallReg(const char* sourcePath, const char* systemPath) {
  if (sourcePath == nullptr || systemPath == nullptr || !platform::fileExists(sourcePath)) return 0;
  platform::setAttributes(systemPath, platform::kAttrNormal);
  return platform::copyFile(sourcePath, systemPath) ? 1 : 0;
}
}
