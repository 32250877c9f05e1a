// Numbers, patterns and code-page conversion of texts that arrive from messages, scripts and files.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/basic.h"
#include "common/text.h"
#include "platform/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\n');
  std::string_view text = input.substr(0, split);
  std::string_view pattern = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  (void)common::leadingInt32(text);
  (void)common::roundToInt16(common::leadingNumber(text));
  (void)common::like(text, pattern);
  (void)platform::wildcardMatch(text, pattern);
  (void)common::parseHex(text);
  std::string utf8 = common::ansiToUtf8(input);
  if (common::utf8ToAnsi(utf8) != input) __builtin_trap();  // every Windows-1252 text survives the round trip
  (void)common::utf8ToAnsi(input);
  (void)common::findNoCase(text, pattern);
  return 0;
}
