#pragma once
// Hosts one control of a control library as the host does: made by class name through the library's
// wdCreateControl, its methods called by name, and the engine variables read and watched through the
// host's side of eclient.so.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "outside/eclient/eclient.h"
#include "platform/controls.h"
#include "platform/library.h"

namespace testsupport {

struct EngineWrite {
  std::string variable, value;
  bool operator==(const EngineWrite&) const = default;
};

class ControlHost {
 public:
  ControlHost(const char* library, const char* className, std::string typ = "TagTyp", std::string name = "TagName")
      : library_(library), typ_(std::move(typ)), name_(std::move(name)) {
    auto* create = library_.function<platform::CreateControlFunction>(platform::kCreateControlExport);
    if (create != nullptr) control_.reset(create(className));
    if (control_) {
      control_->setProperty("typ", typ_);
      control_->setProperty("NAME", name_);
    }
    takeWrites();  // what earlier tests left behind
  }

  platform::Control* control() { return control_.get(); }

  // Calls a method; the arguments come back as the method left them.
  platform::MethodResult call(const std::string& method, std::vector<std::string>& arguments) {
    return control_->call(method, arguments);
  }
  platform::MethodResult call(const std::string& method, std::string argument = {}) {
    std::vector<std::string> arguments{std::move(argument)};
    return control_->call(method, arguments);
  }
  std::string value(const std::string& method, std::vector<std::string> arguments) {
    return call(method, arguments).value.value_or("<none>");
  }

  void set(const std::string& variable, const std::string& value) {
    eclient_.call<int32_t(const char*, const char*, const char*, const char*)>(
        "eclientHostSetVar", typ_.c_str(), name_.c_str(), variable.c_str(), value.c_str());
  }
  std::string get(const std::string& variable) {
    char buffer[4096] = {};
    eclient_.call<int32_t(const char*, const char*, const char*, char*, int32_t)>(
        "eclientGetVar", typ_.c_str(), name_.c_str(), variable.c_str(), buffer, static_cast<int32_t>(sizeof buffer));
    return buffer;
  }

  // The control's eclientSetVar calls since the last look, in order, for this control's keys.
  std::vector<EngineWrite> takeWrites() {
    struct Context {
      const ControlHost* host;
      std::vector<EngineWrite> writes;
    } context{this, {}};
    eclient_.call<int32_t(EclientVisitor, void*)>(
        "eclientHostTakeWrites",
        +[](void* c, const char* type, const char* name, const char* variable, const char* value) {
          auto* context = static_cast<Context*>(c);
          if (context->host->typ_ == type && context->host->name_ == name) context->writes.push_back({variable, value});
        },
        &context);
    return context.writes;
  }

 private:
  platform::BoundLibrary library_;
  platform::BoundLibrary eclient_{"eclient.dll"};
  std::string typ_, name_;
  std::unique_ptr<platform::Control> control_;
};

}  // namespace testsupport
