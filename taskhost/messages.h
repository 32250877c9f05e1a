#pragma once
// The job and status messages between the host and the worker, and the job record the command parser
// fills. A message is lines joined by CR: "#Anfang#", then key and value lines in pairs, then "#Ende#".

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace taskhost {

inline constexpr char kMessageStart[] = "#Anfang#";
inline constexpr char kMessageEnd[] = "#Ende#";
inline constexpr size_t kReceiveBufferSize = 31000;
inline constexpr size_t kStatusBufferSize = 6000;

// The parsed command; kept between messages, so a key a message does not mention keeps its value.
struct JobRequest {
  int32_t orderNumber = 0;
  std::string command;
  std::array<std::string, 1001> files;
  int32_t startPosition = 0;
  std::string fileName;
  int32_t simulation = 0;
  int32_t onTheFly = 0;
  int32_t cdText = 0;
  int32_t copies = 0;
  std::string title;
  std::string list;
  std::string targetName;
  std::string drive;
  int32_t titleNumber = 0;
  int32_t speed = 0;
  int32_t loopMode = 0;
  int32_t iso = 0;
  int32_t quality = 0;
  int32_t encoder = 0;
  std::string volume;
  std::string dir;
  int32_t analog = 0;
};

struct JobStatus {
  std::string state;
  int32_t progress = 0;
  int32_t playTime = 0;
  int32_t errorCode = 0;
  std::string processIdText;
  int32_t convertProgress = 0;
  int32_t burnProgress = 0;
};

// The token that starts at the 1-based position and ends before the next CR or at the end of the text.
std::string_view NextLine(std::string_view text, size_t position);

// Builds a framed message from key/value pairs in the given order.
std::string buildMessage(const std::vector<std::pair<std::string, std::string>>& pairs);
// The key/value pairs of a framed message, in order; empty when the text is not framed.
std::vector<std::pair<std::string, std::string>> parseMessage(std::string_view text);

// The status message: state, progress, play time, order number, a fresh random number, error code and
// process id.
std::string buildStatusMessage(const JobStatus& status, int32_t orderNumber);
// The same with progress and play time written as 0: what a new job is acknowledged with.
std::string buildAcknowledgement(const JobStatus& status, int32_t orderNumber);

// A uniform random fraction times 10000, rounded: fresh status numbers and the test console's order numbers.
int32_t randomNumberTo10000();

// Whether a status is written to the host while this is the current command.
bool isSentCommand(std::string_view command);

// Reads command messages from slot 0 and applies them to the job record.
class CommandReader {
 public:
  using SlotReader = std::function<void(char* buffer)>;  // fills the 31000-character receive buffer
  using TextSink = std::function<void(const std::string&)>;

  CommandReader(JobRequest& request, const JobStatus& status, SlotReader readSlot, TextSink log, TextSink showCommand);

  // True when a new job has arrived.
  bool PollCommand();
  // The framed message in slot 0 once two reads in a row agree; empty text otherwise.
  std::string ReadFramedMessage();

 private:
  struct Flags {
    bool newJob = false;
    bool fileChanged = false;
    bool playSuppressed = false;
  };
  void applyPair(const std::string& key, const std::string& value, Flags& flags);
  void applyOrderNumber(const std::string& value, Flags& flags);
  void applyFile(const std::string& key, const std::string& value, Flags& flags);
  void applyCommand(const std::string& value, Flags& flags);

  JobRequest& request_;
  const JobStatus& status_;
  SlotReader readSlot_;
  TextSink log_;
  TextSink showCommand_;
  std::string receiveBuffer_;
  std::string lastAccepted_;
  std::string lastFileValue_;
};

}  // namespace taskhost
