#include "platform/input.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/basic.h"
#include "common/text.h"
#include "platform/paths.h"

namespace platform {
namespace {

std::mutex keyMutex;
std::vector<int> pendingPresses[2];  // per key: checks still to come before each press is seen
std::atomic<int> languageOverride{0};

std::vector<int>& pressesOf(Key key) { return pendingPresses[key == Key::Escape ? 0 : 1]; }

std::optional<int> languageIdText(std::string_view text) {
  text = common::trimBlanks(text);
  if (text.empty()) return std::nullopt;
  if (common::startsWithNoCase(text, "0x")) {
    auto value = common::parseHex(text);
    return value && *value > 0 && *value <= 0xFFFF ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
  }
  int value = common::leadingInt32(text);
  return value > 0 && value <= 0xFFFF ? std::optional<int>(value) : std::nullopt;
}

int languageIdOfLocale(std::string_view locale) {
  struct Language {
    const char* code;
    int id;
  };
  static constexpr Language kLanguages[] = {
      {"de", 0x0407}, {"en_gb", 0x0809}, {"en", 0x0409}, {"fr", 0x040C}, {"es", 0x0C0A}, {"it", 0x0410},
      {"nl", 0x0413}, {"pt_br", 0x0416}, {"pt", 0x0816}, {"pl", 0x0415}, {"sv", 0x041D}, {"da", 0x0406},
      {"fi", 0x040B}, {"nb", 0x0414},    {"no", 0x0414}, {"cs", 0x0405}, {"hu", 0x040E}, {"ru", 0x0419},
      {"tr", 0x041F}, {"ja", 0x0411},    {"zh", 0x0804}};
  for (const Language& language : kLanguages)
    if (common::startsWithNoCase(locale, language.code)) return language.id;
  return 0;
}

}  // namespace

bool keyDownOrPressed(Key key) {
  std::lock_guard lock(keyMutex);
  bool pressed = false;
  for (int& checks : pressesOf(key))
    if (--checks == 0) pressed = true;
  std::erase_if(pressesOf(key), [](int checks) { return checks <= 0; });
  return pressed;
}

void pressKey(Key key, int afterChecks) {
  std::lock_guard lock(keyMutex);
  pressesOf(key).push_back(afterChecks < 1 ? 1 : afterChecks);
}

void clearKeys() {
  std::lock_guard lock(keyMutex);
  for (auto& presses : pendingPresses) presses.clear();
}

int defaultLanguageId() {
  if (int id = languageOverride.load(); id != 0) return id;
  if (const char* env = std::getenv("WAVEDESK_LANGID"); env != nullptr)
    if (auto id = languageIdText(env)) return *id;
  if (auto configured = machine()->ini().value("system", "language"))
    if (auto id = languageIdText(*configured)) return *id;
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* locale = std::getenv(variable);
    if (locale == nullptr || *locale == '\0') continue;
    if (int id = languageIdOfLocale(locale); id != 0) return id;
  }
  return 0x0409;
}

void setDefaultLanguageId(int id) { languageOverride = id; }

}  // namespace platform
