#include "platform/dialogs.h"

#include <deque>
#include <mutex>
#include <utility>

#include "common/text.h"

namespace platform {
namespace {

std::mutex dialogMutex;
std::deque<std::string> answers[5];
std::vector<std::string> shown;

std::deque<std::string>& queueOf(DialogKind kind) { return answers[static_cast<int>(kind)]; }

std::optional<std::string> takeAnswer(DialogKind kind) {
  std::lock_guard lock(dialogMutex);
  auto& queue = queueOf(kind);
  if (queue.empty()) return std::nullopt;
  std::string answer = std::move(queue.front());
  queue.pop_front();
  return answer;
}

}  // namespace

std::optional<DialogKind> dialogKindNamed(std::string_view name) {
  static constexpr std::pair<const char*, DialogKind> kKinds[] = {{"open", DialogKind::Open},
                                                                  {"save", DialogKind::Save},
                                                                  {"font", DialogKind::Font},
                                                                  {"color", DialogKind::Color},
                                                                  {"colour", DialogKind::Color},
                                                                  {"message", DialogKind::Message}};
  for (auto [kindName, kind] : kKinds)
    if (common::equalsNoCase(name, kindName)) return kind;
  return std::nullopt;
}

void queueDialogAnswer(DialogKind kind, std::string answer) {
  std::lock_guard lock(dialogMutex);
  queueOf(kind).push_back(std::move(answer));
}

void clearDialogAnswers() {
  std::lock_guard lock(dialogMutex);
  for (auto& queue : answers) queue.clear();
  shown.clear();
}

std::optional<std::string> showDialog(DialogKind kind, std::string_view) { return takeAnswer(kind); }

std::string showMessage(std::string_view text, std::string_view, std::string_view defaultButton) {
  {
    std::lock_guard lock(dialogMutex);
    shown.emplace_back(text);
  }
  return takeAnswer(DialogKind::Message).value_or(std::string(defaultButton));
}

std::vector<std::string> takeShownMessages() {
  std::lock_guard lock(dialogMutex);
  return std::exchange(shown, {});
}

}  // namespace platform
