// Whatever lies in the command slot: the worker's reader never crashes, hangs or reads past its buffer.
// The input is split at the first 0xFF byte into what the first read sees and what the re-reads see,
// so torn and changing messages are covered as well as stable ones.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "taskhost/messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\xFF');
  std::string first(input.substr(0, split));
  std::string later(split == std::string_view::npos ? first : std::string(input.substr(split + 1)));
  int reads = 0;
  auto readSlot = [&](char* buffer) {
    const std::string& content = reads++ == 0 ? first : later;
    size_t length = std::min(content.size(), taskhost::kReceiveBufferSize - 1);
    std::memcpy(buffer, content.data(), length);
    buffer[length] = '\0';
  };
  taskhost::JobRequest request;
  taskhost::JobStatus status;
  taskhost::CommandReader reader(request, status, readSlot, [](const std::string&) {}, [](const std::string&) {});
  reader.PollCommand();
  reads = 0;
  reader.PollCommand();
  (void)taskhost::parseMessage(input);
  return 0;
}
