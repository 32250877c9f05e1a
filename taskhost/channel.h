#pragma once
// The worker's view of the job message channel library, bound by name at the first call; a missing
// library or function leaves the worker running without that effect.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/library.h"

namespace taskhost {

// Virtual so that tests can watch what the worker writes and reads.
class Channel {
 public:
  Channel() : library_("qmx_kom.dll") {}
  virtual ~Channel() = default;

  void KomInit() { library_.call<int32_t()>("KomInit"); }
  void KomClose() { library_.call<int32_t()>("KomClose"); }
  // Writes the text into the slot; a text with NUL characters in it is written whole.
  virtual void KomSetString(std::string_view text, int32_t slot);
  // The number of bytes copied, or -1 when the slot never received text (or the library is missing).
  virtual int32_t KomGetString(char* buffer, int32_t slot) {
    return library_.callOr<int32_t(char*, int32_t)>(-1, "KomGetString", buffer, slot);
  }

  void InstallRegFast(const std::string& source, const std::string& target) {
    library_.call<int32_t(const char*, const char*)>("InstallRegFast", source.c_str(), target.c_str());
  }
  void InstallReg(const std::string& source, const std::string& target) {
    library_.call<int32_t(const char*, const char*)>("InstallReg", source.c_str(), target.c_str());
  }

  int32_t SoundPlay(const std::string& source, const std::string& target) {
    return library_.call<int32_t(const char*, int32_t, const char*)>("SoundPlay", source.c_str(), 0, target.c_str());
  }
  int32_t SoundSchritt(int32_t command) { return library_.call<int32_t(int32_t)>("SoundSchritt", command); }
  int32_t SoundGetError() { return library_.call<int32_t()>("SoundGetError"); }
  void SoundSetError(int32_t code) { library_.call<int32_t(int32_t)>("SoundSetError", code); }
  void SoundSetPosition(int32_t position) { library_.call<int32_t(int32_t)>("SoundSetPosition", position); }
  void cdstop() { library_.call<int32_t()>("cdstop"); }

 private:
  platform::BoundLibrary library_;
};

}  // namespace taskhost
