// wavedesk.ini and every other ini-style file the suite reads.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  common::IniFile ini = common::IniFile::parse(text);
  for (const auto& entry : ini.entries()) (void)ini.value(entry.section, entry.key);
  return 0;
}
