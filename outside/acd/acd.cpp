// The CD reader control over the prefix's CD devices: one reading thread at a time, whose progress and
// end come back as events through the event loop.

#include "outside/acd/acd.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "outside/cdrom/cdrom.h"
#include "platform/events.h"
#include "platform/paths.h"

namespace {

enum DispatchId : int32_t {
  kInitialise = 2,
  kSelectDevice = 4,
  kStartReading = 6,
  kDeviceCount = 8,
  kTrackCount = 11,
  kStopReading = 14,
  kTrackValue = 24,
  kCopyMode = 34,
};

// What posted events check on the loop's thread before they reach the handler: the control still
// exists and the read they belong to is still the current one.
struct EventGate {
  std::atomic<bool> alive{true};
  std::atomic<uint64_t> readGeneration{0};
};

class AcdControl {
 public:
  AcdControl(AcdEventHandler handler, void* context) : handler_(handler), context_(context) { loadDevices(); }
  ~AcdControl() {
    stopReading();
    gate_->alive = false;
  }

  int32_t invoke(int32_t id, int32_t number, const char* text) {
    switch (id) {
      case kInitialise:
        loadDevices();
        return 0;
      case kDeviceCount:
        loadDevices();
        return static_cast<int32_t>(devices_.size());
      case kSelectDevice:
        selected_ = number;
        return 0;
      case kTrackCount: {
        auto toc = selectedToc();
        return toc ? static_cast<int32_t>(toc->size()) : 0;
      }
      case kTrackValue:
        return trackValue(number);
      case kCopyMode:
        if (number == 1 || number == 2) checking_ = number == 2 ? cdrom::Checking::Full : cdrom::Checking::Plain;
        return checking_ == cdrom::Checking::Full ? 2 : 1;
      case kStartReading:
        return startReading(number, text != nullptr ? text : "");
      case kStopReading:
        stopReading();
        return 0;
      default:
        return 0;
    }
  }

 private:
  void loadDevices() { devices_ = cdrom::devices(*platform::machine()); }

  const cdrom::Device* selectedDevice() const {
    if (selected_ < 1 || selected_ > static_cast<int32_t>(devices_.size())) return nullptr;
    return &devices_[static_cast<size_t>(selected_ - 1)];
  }

  std::optional<std::vector<cdrom::Track>> selectedToc() const {
    const cdrom::Device* device = selectedDevice();
    return device != nullptr ? cdrom::readToc(device->source) : std::nullopt;
  }

  // A track's length in sectors: equal on copies of one disc, different between discs.
  int32_t trackValue(int32_t number) const {
    auto toc = selectedToc();
    if (!toc) return 0;
    for (const cdrom::Track& track : *toc)
      if (track.number == number) return track.sectors();
    return 0;
  }

  int32_t startReading(int32_t track, const std::string& target) {
    stopReading();
    const uint64_t generation = gate_->readGeneration;
    const cdrom::Device* device = selectedDevice();
    std::filesystem::path file = platform::hostPath(target);
    if (device == nullptr || file.empty()) {
      raise(generation, kAcdFailure, cdrom::kNoDisc, device == nullptr ? "no such device" : "no such file name");
      return 0;
    }
    stop_ = false;
    reader_ = std::thread([this, generation, source = device->source, track, file, checking = checking_] {
      cdrom::ReadOutcome outcome = cdrom::readTrack(source, track, file, checking, stop_, [&](int32_t perMille) {
        raise(generation, kAcdActPosition, perMille, "");
      });
      if (outcome.result == cdrom::ReadOutcome::Complete) raise(generation, kAcdReadComplete, 0, "");
      if (outcome.result == cdrom::ReadOutcome::Failed) raise(generation, kAcdFailure, outcome.code, outcome.message);
    });
    return 0;
  }

  // Ends the running read; events it has raised but the loop has not yet run are dropped.
  void stopReading() {
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    ++gate_->readGeneration;
  }

  // Safe from any thread: the event reaches the handler on the loop's thread, if still wanted then.
  void raise(uint64_t generation, AcdEvent event, int32_t value, std::string text) {
    platform::post([gate = gate_, handler = handler_, context = context_, generation, event, value,
                    text = std::move(text)] {
      if (gate->alive && gate->readGeneration == generation && handler != nullptr)
        handler(context, event, value, text.c_str());
    });
  }

  AcdEventHandler handler_;
  void* context_;
  std::shared_ptr<EventGate> gate_ = std::make_shared<EventGate>();
  std::vector<cdrom::Device> devices_;
  int32_t selected_ = 1;
  cdrom::Checking checking_ = cdrom::Checking::Full;
  std::atomic<bool> stop_{false};
  std::thread reader_;
};

}  // namespace

extern "C" {

void* AcdCreate(AcdEventHandler handler, void* context) {
  try {
    return new AcdControl(handler, context);
  } catch (...) {
    return nullptr;
  }
}

int32_t AcdInvoke(void* control, int32_t dispatchId, int32_t number, const char* text) {
  if (control == nullptr) return 0;
  try {
    return static_cast<AcdControl*>(control)->invoke(dispatchId, number, text);
  } catch (...) {
    return 0;
  }
}

void AcdDestroy(void* control) {
  try {
    delete static_cast<AcdControl*>(control);
  } catch (...) {
  }
}
}
