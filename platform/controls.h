#pragma once
// Controls as the host embeds them: a control library ("sv_taginfo.so") makes controls by class name
// through its export wdCreateControl; a control has text properties and methods called by name with
// by-reference text arguments that the method may change. Controls run on the host's event loop, and no
// error ever leaves a property or a method.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct MethodResult {
  bool found = false;                // false: the control has no such method
  std::optional<std::string> value;  // the method's value, when it returns one
};

class Control {
 public:
  virtual ~Control() = default;
  // False when the control has no such property.
  virtual bool setProperty(std::string_view name, const std::string& value) = 0;
  virtual std::optional<std::string> property(std::string_view name) const = 0;
  virtual MethodResult call(std::string_view method, std::vector<std::string>& arguments) = 0;
};

// Builds a control from tables of its properties and methods; names are matched without regard to case.
// Every control has the properties "Typ" and "Name", the keys of its engine variables.
class ControlBase : public Control {
 public:
  using Method = std::function<std::optional<std::string>(std::vector<std::string>& arguments)>;

  bool setProperty(std::string_view name, const std::string& value) override;
  std::optional<std::string> property(std::string_view name) const override;
  MethodResult call(std::string_view method, std::vector<std::string>& arguments) override;

  const std::string& typ() const { return typ_; }
  const std::string& name() const { return name_; }

 protected:
  ControlBase();
  void addProperty(std::string name, std::string* field);
  void addMethod(std::string name, Method method);
  // A method of one by-reference text argument that returns nothing, as most of the suite's are.
  void addMethod(std::string name, std::function<void(std::string& value)> method);

 private:
  std::string typ_;
  std::string name_;
  std::map<std::string, std::string*> properties_;  // keys lower-cased
  std::map<std::string, Method> methods_;
};

// The export every control library provides; null for an unknown class.
using CreateControlFunction = Control*(const char* className);
inline constexpr char kCreateControlExport[] = "wdCreateControl";

}  // namespace platform
