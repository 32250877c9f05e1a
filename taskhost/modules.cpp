#include "taskhost/modules.h"

#include <algorithm>

#include "common/basic.h"
#include "common/text.h"
#include "outside/acd/acd.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "taskhost/worker.h"

namespace taskhost {
namespace {

constexpr int32_t kOpInitialise = 2;
constexpr int32_t kOpSelectDevice = 4;
constexpr int32_t kOpReadTrack = 6;
constexpr int32_t kOpDeviceCount = 8;
constexpr int32_t kOpTrackCount = 11;
constexpr int32_t kOpStopReading = 14;
constexpr int32_t kOpTrackValue = 24;
constexpr int32_t kOpCopyMode = 34;

constexpr int64_t kGrabDeleteRetryMs = 2600;
constexpr int64_t kGrabRetryPauseMs = 10;  // retries pause briefly instead of spinning
constexpr int64_t kEncodeDeleteRetryMs = 1600;
constexpr int kSourceWaits = 21;

bool is(std::string_view a, std::string_view b) { return common::equalsNoCase(a, b); }

std::string withBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

// Deletes a file that a stopped component may still hold, for at most limitMs.
void deleteWithRetries(const std::string& path, int64_t pauseMs, int64_t limitMs) {
  uint32_t start = platform::tickCount();
  do {
    platform::sleepMs(pauseMs);
    platform::setAttributes(path, platform::kAttrNormal);
    platform::deleteFile(path);
  } while (platform::fileExists(path) && platform::tickCount() - start <= limitMs);
}

}  // namespace

const SuitePaths& InitPaths() {
  static const SuitePaths paths = [] {
    SuitePaths found;
    std::string system(common::trimRightBlanks(common::cutAtNul(platform::systemFolder().substr(0, 200))));
    found.systemFolder = system.empty() ? "c:\\windows\\system\\" : common::upperCase(withBackslash(system));
    found.programFolder = withBackslash(platform::programFolder());
    return found;
  }();
  return paths;
}

// ---- the reader control

bool CdReaderForm::load() {
  if (control_ != nullptr) return true;
  auto* create = library_.function<void*(AcdEventHandler, void*)>("AcdCreate");
  control_ = create != nullptr ? create(&CdReaderForm::onEvent, this) : nullptr;
  return control_ != nullptr;
}

void CdReaderForm::unload() {
  if (control_ == nullptr) return;
  library_.call<void(void*)>("AcdDestroy", control_);
  control_ = nullptr;
}

int32_t CdReaderForm::invoke(int32_t dispatchId, int32_t number, const std::string& text) {
  if (control_ == nullptr) return 0;
  return library_.call<int32_t(void*, int32_t, int32_t, const char*)>("AcdInvoke", control_, dispatchId, number,
                                                                       text.c_str());
}

void CdReaderForm::onEvent(void* context, int32_t event, int32_t value, const char*) {
  Modules& modules = static_cast<CdReaderForm*>(context)->modules_;
  if (event == kAcdActPosition) modules.ModuleCommand("grab", "setframe", std::to_string(value));
  if (event == kAcdFailure) modules.ModuleCommand("grab", "fehler");
  if (event == kAcdReadComplete) modules.ModuleCommand("grab", "fertig");
}

// ---- grabbing

void GrabController::GrabControl(const std::string& command, const std::string& value, const std::string& file,
                                 const std::string& number, const std::string&) {
  if (is(command, "init")) {
    LoadCdForm();
    worker_.Log("ggg init");
  } else if (is(command, "start")) {
    start(file, common::leadingInt32(number));
  } else if (is(command, "setframe")) {
    if (auto position = common::roundToInt32(common::leadingNumber(value))) grabProgress_ = std::min(*position, 999);
  } else if (is(command, "fertig") || is(command, "fehler")) {
    failed_ = is(command, "fehler");
    grabTarget_.clear();
    CloseGrab();
    grabProgress_ = 1000;
  } else if (is(command, "close") || is(command, "stop")) {
    CloseGrab();
  }
}

void GrabController::start(const std::string& target, int32_t track) {
  readingStarted_ = false;
  failed_ = false;
  LoadCdForm();
  CloseGrab();
  if (platform::fileExists(target)) {
    platform::setAttributes(target, platform::kAttrNormal);
    platform::deleteFile(target);
  }
  worker_.Log("Init = " + std::to_string(form_.invoke(kOpInitialise)));
  chooseDevice(track);
  form_.invoke(kOpTrackValue, track);
  int32_t tracks = static_cast<int16_t>(form_.invoke(kOpTrackCount));
  worker_.Log("CopyMode1 = " + std::to_string(form_.invoke(kOpCopyMode, worker_.request().quality == 0 ? 1 : 2)));
  if (tracks >= 1 && tracks <= 101)
    readingStarted_ = form_.invoke(kOpReadTrack, track, std::string(common::trimBlanks(target))) == 0;
  grabTarget_ = target;
}

// Device 1 unless the track is only on another one: up to three devices are compared by their track
// counts and the value of their first track.
int32_t GrabController::chooseDevice(int32_t track) {
  auto trackCount = [&] { return static_cast<int16_t>(form_.invoke(kOpTrackCount)); };
  auto deviceCount = [&] { return static_cast<int16_t>(form_.invoke(kOpDeviceCount)); };
  int32_t t1 = 0, t2 = 0, f1 = 0, f2 = 0;
  if (deviceCount() > 1) {
    form_.invoke(kOpSelectDevice, 2);
    t2 = trackCount();
    if (t2 > 0) f2 = form_.invoke(kOpTrackValue, 1);
  }
  form_.invoke(kOpSelectDevice, 1);
  worker_.Log("trackanz1 = " + std::to_string(trackCount()));
  t1 = trackCount();
  if (t1 > 0) f1 = form_.invoke(kOpTrackValue, 1);
  if (!(track > t1 || t2 > t1 || (f2 > 0 && f2 < f1))) return 1;
  if (deviceCount() <= 1) return 1;
  form_.invoke(kOpSelectDevice, 2);
  worker_.Log("trackanz2 = " + std::to_string(trackCount()));
  if (!(track > trackCount() && deviceCount() > 2)) return 2;
  form_.invoke(kOpSelectDevice, 3);
  if (track <= trackCount()) return 3;
  form_.invoke(kOpSelectDevice, 1);
  return 1;
}

void GrabController::CloseGrab() {
  if (!grabTarget_.empty()) {
    platform::deleteFile(grabTarget_);  // the control may still hold it; the retries below remove it
    platform::sleepMs(10);
    form_.invoke(kOpStopReading);
    platform::sleepMs(10);
    if (platform::fileExists(grabTarget_)) {
      platform::sleepMs(100);
      deleteWithRetries(grabTarget_, kGrabRetryPauseMs, kGrabDeleteRetryMs);
    }
  }
  grabProgress_ = 0;
  grabTarget_.clear();
}

void GrabController::LoadCdForm() {
  if (cdFormState_ != 1) cdFormState_ = modules_.InstallAndLoad("acd.ocx", [this] { return form_.load(); });
}

void GrabController::unloadForm() {
  form_.unload();
  cdFormState_ = 0;
}

// ---- encoding

void EncoderForm::prepare() {
  lastProgress_ = 0;
  library_.call<int32_t()>("mp3encLoadEncoder");
  library_.call<int32_t(int32_t)>("mp3encSetQuality", worker_.request().encoder == 0 ? 0 : 1);
}

int32_t EncoderForm::GetProgress() {
  int32_t progress = library_.callOr<int32_t()>(-1, "mp3encGetProgress");  // no library: nothing to do
  if (progress < 0) progress = 1000;
  if (lastProgress_ != 1000 && progress == 1000) modules_.ModuleCommand("encode", "fertig");
  lastProgress_ = progress;
  return progress;
}

void EncoderForm::StartFile(const std::string& source, const std::string& target, int32_t rate) {
  prepare();
  library_.call<int32_t(const char*, const char*, int32_t)>("mp3encStartFile", source.c_str(), target.c_str(), rate);
}

void EncoderForm::StartStream(const std::string& source, const std::string& target, int32_t rate) {
  prepare();
  library_.call<int32_t(const char*, const char*, int32_t)>("mp3encStartStream", source.c_str(), target.c_str(), rate);
}

void EncoderForm::StopFile() {
  library_.call<int32_t()>("mp3encStopStream");
  library_.call<int32_t()>("mp3encStop");
  library_.call<int32_t()>("mp3encUnloadEncoder");
}

void EncoderForm::StopStream() { library_.call<int32_t()>("mp3encStopStream"); }

void EncodeController::EncodeControl(const std::string& command, const std::string& source, const std::string& target,
                                     const std::string& rate, const std::string&) {
  if (is(command, "init")) {
    LoadEncodeForm();
  } else if (is(command, "start") || is(command, "stream")) {
    start(source, target, rate, is(command, "stream"));
  } else if (is(command, "fertig")) {
    encodeTarget_.clear();
    CloseEncode();
    encodeProgress_ = 1000;
  } else if (is(command, "close") || is(command, "stop")) {
    CloseEncode();
  }
}

void EncodeController::start(const std::string& source, const std::string& target, const std::string& rate,
                             bool stream) {
  encodeTarget_.clear();
  encodeProgress_ = 0;
  CloseEncode();
  for (int waits = 0; !stream && !platform::fileExists(source) && waits < kSourceWaits; ++waits) platform::sleepMs(100);
  if (!platform::fileExists(source)) {
    encodeProgress_ = 1000;
    encodeTarget_.clear();
    return;
  }
  platform::setAttributes(target, platform::kAttrNormal);
  platform::deleteFile(target);
  std::string s(common::trimBlanks(source)), t(common::trimBlanks(target));
  int32_t kbits = common::roundToInt32(common::leadingNumber(rate) / 1000).value_or(0);
  if (stream) {
    form_.StartStream(s, t, kbits);
  } else {
    form_.StartFile(s, t, kbits);
  }
  encodeTarget_ = target;
}

void EncodeController::CloseEncode() {
  form_.StopFile();
  if (!encodeTarget_.empty()) {
    platform::deleteFile(encodeTarget_);
    if (platform::fileExists(encodeTarget_)) {
      form_.StopFile();
      deleteWithRetries(encodeTarget_, 20, kEncodeDeleteRetryMs);
    }
  }
  encodeProgress_ = 0;
  encodeTarget_.clear();
}

void EncodeController::LoadEncodeForm() {
  if (encodeFormState_ > 0) return;
  const SuitePaths& paths = InitPaths();
  worker_.channel().InstallRegFast(paths.programFolder + "msvcrt.dll", paths.systemFolder + "msvcrt.dll");
  encodeFormState_ = 1;
}

// ---- routing

void Modules::ModuleCommand(const std::string& target, const std::string& command, const std::string& value,
                            const std::string& file, const std::string& number, const std::string& extra) {
  bool quietFrame = is(command, "setframe") && common::leadingInt32(value) % 3 != 0;
  if (!quietFrame) worker_.Log("MKOM" + command + " " + value);
  if (is(target, "grab")) {
    grab.GrabControl(command, value, file, number, extra);
  } else if (is(target, "encode")) {
    encode.EncodeControl(command, value, file, number, extra);
  }
}

int Modules::InstallAndLoad(const std::string& fileName, const std::function<bool()>& load) {
  const SuitePaths& paths = InitPaths();
  worker_.channel().InstallRegFast(paths.programFolder + fileName, paths.systemFolder + fileName);
  if (load()) return 1;
  worker_.channel().InstallReg(paths.programFolder + fileName, paths.systemFolder + fileName);
  if (load()) return 1;
  platform::sleepMs(100);
  return load() ? 1 : -1;
}

}  // namespace taskhost
