// The control library's one export: the host makes its controls by class name.
#include "common/text.h"
#include "platform/controls.h"
#include "sv_taginfo/tag_control.h"

extern "C" __attribute__((visibility("default"))) platform::Control* wdCreateControl(const char* className) {
  try {
    if (className != nullptr && common::equalsNoCase(className, "sv_taginfo")) return new taginfo::TagControl();
  } catch (...) {
  }
  return nullptr;
}
