// Command lines typed or scripted into ctlhost: tokenizing never fails hard, and what it prints reads back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/ctlhost/commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  auto tokens = ctlhost::tokenize(line);
  if (tokens) {
    for (const std::string& token : *tokens) {
      auto back = ctlhost::tokenize(ctlhost::quote(token));
      if (!back || back->size() != 1 || (*back)[0] != token) __builtin_trap();
    }
  }
  return 0;
}
