// A CD reader control for the worker's tests: devices with given track counts and first-track values, a
// log of every call, and events raised when the test asks for them.
#include <cstdio>
#include <string>
#include <vector>

#include "outside/acd/acd.h"
#include "platform/events.h"
#include "platform/files.h"

namespace {

struct Device {
  int tracks;
  int firstValue;
};

std::vector<Device> devices;
int selected = 1;
std::string calls;
AcdEventHandler handler = nullptr;
void* handlerContext = nullptr;
bool creatable = true;

}  // namespace

extern "C" {

void FakeAcdSetDevices(int count, const int* tracks, const int* firstValues) {
  devices.clear();
  for (int i = 0; i < count; ++i) devices.push_back({tracks[i], firstValues[i]});
  selected = 1;
  calls.clear();
}

void FakeAcdSetCreatable(int yes) { creatable = yes != 0; }
const char* FakeAcdCalls() { return calls.c_str(); }

// Raises an event as the control's reading thread would: through the host's event loop.
void FakeAcdRaise(int32_t event, int32_t value) {
  platform::post([event, value] {
    if (handler != nullptr) handler(handlerContext, event, value, "fake");
  });
}

void* AcdCreate(AcdEventHandler eventHandler, void* context) {
  if (!creatable) return nullptr;
  handler = eventHandler;
  handlerContext = context;
  return &devices;
}

int32_t AcdInvoke(void*, int32_t id, int32_t number, const char* text) {
  char call[64];
  std::snprintf(call, sizeof call, "%d(%d) ", id, number);
  calls += call;
  const Device* device = selected >= 1 && selected <= static_cast<int>(devices.size()) ? &devices[selected - 1] : nullptr;
  switch (id) {
    case 8: return static_cast<int32_t>(devices.size());
    case 4: selected = number; return 0;
    case 11: return device != nullptr ? device->tracks : 0;
    case 24: return device != nullptr && number == 1 ? device->firstValue : 0;
    case 6:
      if (device == nullptr || number > device->tracks) return -1;
      platform::writeFile(text, "RIFF partial");
      return 0;
    default: return 0;
  }
}

void AcdDestroy(void*) { handler = nullptr; }
}
