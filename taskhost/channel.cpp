#include "taskhost/channel.h"

namespace taskhost {

void Channel::KomSetString(std::string_view text, int32_t slot) {
  using SetBytes = int32_t(const char*, int32_t, int32_t);
  if (text.find('\0') != std::string_view::npos && library_.function<SetBytes>("KomSetBytes") != nullptr) {
    library_.call<SetBytes>("KomSetBytes", text.data(), static_cast<int32_t>(text.size()), slot);
    return;
  }
  std::string terminated(text);
  library_.call<int32_t(const char*, int32_t)>("KomSetString", terminated.c_str(), slot);
}

}  // namespace taskhost
