// The control library's one export: the host makes its controls by class name.
#include "common/text.h"
#include "platform/controls.h"
#include "sv_search/search_control.h"

extern "C" __attribute__((visibility("default"))) platform::Control* wdCreateControl(const char* className) {
  try {
    if (className != nullptr && common::equalsNoCase(className, "sv_search")) return new search::SearchControl();
  } catch (...) {
  }
  return nullptr;
}
