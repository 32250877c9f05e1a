#pragma once
// The grab and encode controllers and the router between them, the dispatcher and the reader control's
// events; with the forms that hold the outside components.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/library.h"

namespace taskhost {

class Worker;
class Modules;

// Program and system folders, found once per process, each ending in "\".
struct SuitePaths {
  std::string programFolder;
  std::string systemFolder;
};
const SuitePaths& InitPaths();

// The form QmxCD with its control Grab, the audio CD reader ("acd.ocx"), called by dispatch id.
class CdReaderForm {
 public:
  explicit CdReaderForm(Modules& modules) : modules_(modules) {}
  ~CdReaderForm() { unload(); }
  CdReaderForm(const CdReaderForm&) = delete;
  CdReaderForm& operator=(const CdReaderForm&) = delete;

  bool load();  // false when the control cannot be created
  void unload();
  // Values not answered (no control) read as 0.
  int32_t invoke(int32_t dispatchId, int32_t number = 0, const std::string& text = {});

 private:
  static void onEvent(void* context, int32_t event, int32_t value, const char* text);

  Modules& modules_;
  platform::BoundLibrary library_{"acd.ocx"};
  void* control_ = nullptr;
};

class GrabController {
 public:
  GrabController(Worker& worker, Modules& modules) : worker_(worker), modules_(modules), form_(modules) {}

  void GrabControl(const std::string& command, const std::string& value, const std::string& file,
                   const std::string& number, const std::string& extra);
  void CloseGrab();
  void LoadCdForm();
  void unloadForm();

  int32_t grabProgress() const { return grabProgress_; }
  const std::string& grabTarget() const { return grabTarget_; }
  // Whether the last start began a reading, and whether the last reading ended in a failure.
  bool readingStarted() const { return readingStarted_; }
  bool failed() const { return failed_; }
  int cdFormState() const { return cdFormState_; }

 private:
  void start(const std::string& target, int32_t track);
  int32_t chooseDevice(int32_t track);

  Worker& worker_;
  Modules& modules_;
  CdReaderForm form_;
  std::string grabTarget_;
  int32_t grabProgress_ = 0;
  int cdFormState_ = 0;
  bool readingStarted_ = false;
  bool failed_ = false;
};

// The form QmxEncode over the encoder library "qmxmp3enc.dll".
class EncoderForm {
 public:
  EncoderForm(Worker& worker, Modules& modules) : worker_(worker), modules_(modules) {}

  int32_t GetProgress();
  void StartFile(const std::string& source, const std::string& target, int32_t rate);
  void StartStream(const std::string& source, const std::string& target, int32_t rate);
  void StopFile();
  void StopStream();

 private:
  void prepare();

  Worker& worker_;
  Modules& modules_;
  platform::BoundLibrary library_{"qmxmp3enc.dll"};
  int32_t lastProgress_ = 0;
};

class EncodeController {
 public:
  EncodeController(Worker& worker, Modules& modules) : worker_(worker), form_(worker, modules) {}

  void EncodeControl(const std::string& command, const std::string& source, const std::string& target,
                     const std::string& rate, const std::string& extra);
  void CloseEncode();
  void LoadEncodeForm();
  void unloadForm() { encodeFormState_ = 0; }

  EncoderForm& form() { return form_; }
  int32_t encodeProgress() const { return encodeProgress_; }
  const std::string& encodeTarget() const { return encodeTarget_; }

 private:
  void start(const std::string& source, const std::string& target, const std::string& rate, bool stream);

  Worker& worker_;
  EncoderForm form_;
  std::string encodeTarget_;
  int32_t encodeProgress_ = 0;
  int encodeFormState_ = 0;
};

class Modules {
 public:
  explicit Modules(Worker& worker) : worker_(worker), grab(worker, *this), encode(worker, *this) {}

  // Routes a message to the grab ("grab") or encode ("encode") controller; other targets do nothing.
  void ModuleCommand(const std::string& target, const std::string& command, const std::string& value = {},
                     const std::string& file = {}, const std::string& number = {}, const std::string& extra = {});
  // Makes the component present in the system folder and loads the form that holds it: 1 or -1.
  int InstallAndLoad(const std::string& fileName, const std::function<bool()>& load);

  Worker& worker() { return worker_; }

 private:
  Worker& worker_;

 public:
  GrabController grab;
  EncodeController encode;
};

}  // namespace taskhost
