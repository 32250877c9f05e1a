#pragma once
// Libraries bound by name at their first call, as the suite binds its DLLs: the caller names the Windows
// file ("qmx_kom.dll", "acd.ocx"), the library "<name>.so" is loaded from the program folder (name
// compared without regard to case), and a missing library or function turns the call into a no-op with
// a default result, which the caller survives.

#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace platform {

class BoundLibrary {
 public:
  explicit BoundLibrary(std::string_view windowsFileName);
  ~BoundLibrary();
  BoundLibrary(const BoundLibrary&) = delete;
  BoundLibrary& operator=(const BoundLibrary&) = delete;

  // The function's address, loading the library on the first call; null when library or function is missing.
  void* symbol(const char* name);
  bool available();

  template <typename Signature>
  Signature* function(const char* name) {
    return reinterpret_cast<Signature*>(symbol(name));
  }

  // Calls the function when it is there; otherwise the result is the fallback.
  template <typename Signature, typename Result, typename... Args>
  Result callOr(Result fallback, const char* name, Args&&... args) {
    if (auto* fn = function<Signature>(name)) {
      if constexpr (std::is_void_v<std::invoke_result_t<Signature*, Args...>>) {
        fn(std::forward<Args>(args)...);
        return fallback;
      } else {
        return static_cast<Result>(fn(std::forward<Args>(args)...));
      }
    }
    return fallback;
  }

  // Calls the function when it is there; otherwise a default result (0, empty).
  template <typename Signature, typename... Args>
  std::invoke_result_t<Signature*, Args...> call(const char* name, Args&&... args) {
    using Result = std::invoke_result_t<Signature*, Args...>;
    if (auto* fn = function<Signature>(name)) return fn(std::forward<Args>(args)...);
    if constexpr (!std::is_void_v<Result>) return Result{};
  }

  // The .so file this binding looks for, for messages.
  const std::string& fileName() const { return fileName_; }

 private:
  void load();

  std::string fileName_;
  std::mutex mutex_;
  bool tried_ = false;
  void* handle_ = nullptr;
  std::unordered_map<std::string, void*> symbols_;
};

}  // namespace platform
