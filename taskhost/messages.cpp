#include "taskhost/messages.h"

#include <cmath>
#include <cstdio>
#include <random>

#include "common/basic.h"
#include "common/text.h"

namespace taskhost {
namespace {

constexpr size_t kParseLimit = 29000;
constexpr size_t kMaxReads = 20;
constexpr int kFilesClearedAtMost = 500;

std::string numberText(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

// Numeric fields take the text's leading number, rounded; one that does not fit leaves the field as it was.
void storeNumber(int32_t& field, const std::string& value) {
  if (auto number = common::roundToInt32(common::leadingNumber(value))) field = *number;
}

std::string statusText(const JobStatus& status, int32_t progress, int32_t playTime, int32_t orderNumber) {
  return buildMessage({{"Status", status.state},
                       {"Fortschritt", std::to_string(progress)},
                       {"Spielzeit", std::to_string(playTime)},
                       {"Auftragsnummer", std::to_string(orderNumber)},
                       {"Statusnummer", std::to_string(randomNumberTo10000())},
                       {"Fehlercode", std::to_string(status.errorCode)},
                       {"ProcessID", status.processIdText}});
}

}  // namespace

int32_t randomNumberTo10000() {
  static std::mt19937 generator{std::random_device{}()};
  double fraction = std::uniform_real_distribution<double>(0.0, 1.0)(generator);
  return common::roundToInt32(fraction * 10000).value_or(0);
}

std::string_view NextLine(std::string_view text, size_t position) {
  if (position < 1 || position > text.size()) return {};
  std::string_view rest = text.substr(position - 1);
  return rest.substr(0, rest.find('\r'));
}

std::string buildMessage(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string message = kMessageStart;
  for (const auto& [key, value] : pairs) message += "\r" + key + "\r" + value;
  return message + "\r" + kMessageEnd;
}

std::vector<std::pair<std::string, std::string>> parseMessage(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> pairs;
  if (!common::startsWithNoCase(text, kMessageStart) || !common::endsWithNoCase(text, kMessageEnd)) return pairs;
  size_t position = sizeof(kMessageStart) + 1;  // 1-based, past "#Anfang#" and its CR
  while (true) {
    std::string_view key = NextLine(text, position);
    if (key.empty() || common::equalsNoCase(key, kMessageEnd)) break;
    position += key.size() + 1;
    std::string_view value = NextLine(text, position);
    position += value.size() + 1;
    pairs.emplace_back(std::string(key), std::string(value));
  }
  return pairs;
}

std::string buildStatusMessage(const JobStatus& status, int32_t orderNumber) {
  return statusText(status, status.progress, status.playTime, orderNumber);
}

std::string buildAcknowledgement(const JobStatus& status, int32_t orderNumber) {
  return statusText(status, 0, 0, orderNumber);
}

bool isSentCommand(std::string_view command) {
  for (const char* sent : {"burniso", "burnaudio", "decode", "write", "cdcopy", "grabmp3", "grabwav", "encode", "stop"})
    if (common::equalsNoCase(command, sent)) return true;
  return false;
}

CommandReader::CommandReader(JobRequest& request, const JobStatus& status, SlotReader readSlot, TextSink log,
                             TextSink showCommand)
    : request_(request),
      status_(status),
      readSlot_(std::move(readSlot)),
      log_(std::move(log)),
      showCommand_(std::move(showCommand)),
      receiveBuffer_(kReceiveBufferSize, ' ') {}

bool CommandReader::PollCommand() {
  readSlot_(receiveBuffer_.data());
  if (common::equalsNoCase(receiveBuffer_, lastAccepted_)) return false;
  if (receiveBuffer_[0] == ' ') return false;  // nothing was ever written
  lastAccepted_ = receiveBuffer_;

  std::string text = ReadFramedMessage();
  showCommand_(text);
  if (text.empty()) return false;

  size_t position = 1;
  std::string token = common::lowerCase(NextLine(text, position));
  if (token != "#anfang#") return false;
  position += token.size() + 1;

  Flags flags;
  while (true) {
    std::string key = common::lowerCase(NextLine(text, position));
    if (key.empty()) break;
    position += key.size() + 1;
    if (position > kParseLimit) break;
    std::string value(NextLine(text, position));
    if (value.empty()) break;
    position += value.size() + 1;
    applyPair(key, value, flags);
  }
  return flags.playSuppressed ? false : flags.newJob;
}

std::string CommandReader::ReadFramedMessage() {
  std::string previous;
  std::string text;
  for (size_t tries = 0;;) {
    size_t nul = receiveBuffer_.find('\0');
    if (nul != std::string::npos) text = receiveBuffer_.substr(0, nul);
    if (common::equalsNoCase(text, previous) && common::startsWithNoCase(text, kMessageStart) &&
        common::endsWithNoCase(text, kMessageEnd))
      return text;
    previous = text;
    if (++tries > kMaxReads) return {};
    readSlot_(receiveBuffer_.data());
  }
}

void CommandReader::applyPair(const std::string& key, const std::string& value, Flags& flags) {
  JobRequest& r = request_;
  if (key == "auftragsnummer") return applyOrderNumber(value, flags);
  if (common::compareNoCase(key, "file000") >= 0 && common::compareNoCase(key, "file999") <= 0)
    return applyFile(key, value, flags);
  if (key == "command") return applyCommand(value, flags);

  struct NumberKey {
    const char* key;
    int32_t JobRequest::*field;
  };
  static constexpr NumberKey kNumbers[] = {
      {"startposition", &JobRequest::startPosition}, {"simulation", &JobRequest::simulation},
      {"onthefly", &JobRequest::onTheFly},           {"cdtext", &JobRequest::cdText},
      {"copies", &JobRequest::copies},               {"titelnummer", &JobRequest::titleNumber},
      {"loopmode", &JobRequest::loopMode},           {"iso", &JobRequest::iso},
      {"quality", &JobRequest::quality},             {"encoder", &JobRequest::encoder},
      {"analog", &JobRequest::analog}};
  for (const NumberKey& number : kNumbers)
    if (key == number.key) return storeNumber(r.*number.field, value);

  struct TextKey {
    const char* key;
    std::string JobRequest::*field;
  };
  static constexpr TextKey kTexts[] = {{"filename", &JobRequest::fileName}, {"title", &JobRequest::title},
                                       {"list", &JobRequest::list},         {"zielname", &JobRequest::targetName},
                                       {"laufwerk", &JobRequest::drive},    {"drive", &JobRequest::drive},
                                       {"volume", &JobRequest::volume}};
  for (const TextKey& text : kTexts)
    if (key == text.key) {
      r.*text.field = value;
      return;
    }

  if (key == "speed") {
    if (common::equalsNoCase(value, "max")) {
      r.speed = 255;
    } else {
      storeNumber(r.speed, value);
    }
  } else if (key == "dir") {
    r.dir = numberText(common::leadingNumber(value));
  }
}

void CommandReader::applyOrderNumber(const std::string& value, Flags& flags) {
  double number = common::leadingNumber(value);
  if (number != static_cast<double>(request_.orderNumber)) {
    flags.newJob = true;
    for (int i = 0; i < kFilesClearedAtMost && !request_.files[i].empty(); ++i) request_.files[i].clear();
  }
  storeNumber(request_.orderNumber, value);
}

void CommandReader::applyFile(const std::string& key, const std::string& value, Flags& flags) {
  if (!common::equalsNoCase(value, lastFileValue_)) {
    lastFileValue_ = value;
    flags.fileChanged = true;
    flags.playSuppressed = false;
  }
  auto index = common::roundToInt32(common::leadingNumber(key.substr(key.size() >= 3 ? key.size() - 3 : 0)));
  if (!index || *index < 0 || *index > 1000) return;
  request_.files[static_cast<size_t>(*index)] = value;
}

void CommandReader::applyCommand(const std::string& value, Flags& flags) {
  bool quiet = common::equalsNoCase(request_.command, "play") && !flags.fileChanged && status_.progress < 32;
  if (quiet && common::equalsNoCase(value, "play") && flags.newJob) flags.playSuppressed = true;
  if (!common::equalsNoCase(value, request_.command)) {
    flags.newJob = true;
    log_("NeueZeile");
  }
  request_.command = value;
}

}  // namespace taskhost
