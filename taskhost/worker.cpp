#include "taskhost/worker.h"

#include <cmath>

#include "common/basic.h"
#include "common/text.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/windows.h"

namespace taskhost {
namespace {

constexpr int kTimer1Interval = 200;
constexpr int kTempTimer2Interval = 1000;
constexpr int kStatusDepthLimit = 4;
constexpr size_t kClearedSlotLength = 6000;

bool is(std::string_view a, std::string_view b) { return common::equalsNoCase(a, b); }

bool isOneOf(std::string_view value, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (is(value, name)) return true;
  return false;
}

}  // namespace

Worker::Worker(Channel& channel, JobExecutors& executors, bool testMode, View view, ExitProcess exitProcess)
    : channel_(channel),
      executors_(executors),
      testMode_(testMode),
      view_(std::move(view)),
      exitProcess_(std::move(exitProcess)),
      reader_(
          request_, status_, [this](char* buffer) { channel_.KomGetString(buffer, 0); },
          [this](const std::string& text) { Log(text); },
          [this](const std::string& text) {
            if (view_.showCommand) view_.showCommand(text);
          }) {}

void Worker::start() {
  request_.copies = 1;
  hostMissingLimit_ = 60;
  tempFile_ = MakeTempName(0);
  channel_.KomInit();
  status_.processIdText = std::to_string(platform::processId());
  platform::setPriorityNormal();
  timer1_ = std::make_unique<platform::Timer>(kTimer1Interval, [this] { Timer1Tick(); });
  tempTimer2_ = std::make_unique<platform::Timer>(kTempTimer2Interval, [this] { TempTimer2Tick(); });
}

void Worker::Timer1Tick() {
  if (ended_) return;
  ++encodeTicks_;
  if (is(status_.state, "encode") && encodeTicks_ < 2) return;  // while encoding, every second tick works
  encodeTicks_ = 0;
  SendStatus();
  if (watchdogTicks_ > 4) {
    watchdogTicks_ = 0;
    WatchdogCheck();
  }
  ++watchdogTicks_;
  SendStatus();
}

void Worker::TempTimer2Tick() {
  if (ended_) return;
  std::string buffer(kStatusBufferSize, '\0');
  channel_.KomGetString(buffer.data(), 1);
  std::string text(common::cutAtNul(buffer));
  bool framed = common::startsWithNoCase(text, kMessageStart) && common::endsWithNoCase(text, kMessageEnd);
  if (view_.showStatus) view_.showStatus(framed ? text : std::string());
}

void Worker::SendStatus() {
  if (ended_ || statusDepth_ >= kStatusDepthLimit) return;
  ++statusDepth_;
  CheckForJob();
  if (!ended_) {
    UpdateProgress();
    status_.errorCode = channel_.SoundGetError();
    std::string message = buildStatusMessage(status_, request_.orderNumber);
    if (isSentCommand(request_.command)) channel_.KomSetString(message, 1);
  }
  --statusDepth_;
}

void Worker::UpdateProgress() {
  if (isOneOf(status_.state, {"decode", "encode", "grabwav", "grabmp3"})) {
    status_.progress = status_.convertProgress;
    status_.playTime = 0;
  } else if (isOneOf(status_.state, {"burnaudio", "burniso", "cdcopy"})) {
    status_.progress = status_.burnProgress;
    status_.playTime = 0;
  } else {
    status_.progress = 0;
    channel_.SoundSetPosition(0);
  }
}

void Worker::CheckForJob() {
  if (ended_) return;
  if (reader_.PollCommand()) {
    std::string acknowledgement = buildAcknowledgement(status_, request_.orderNumber);
    if (isSentCommand(request_.command)) channel_.KomSetString(acknowledgement, 1);
    Log("AktuellerStop Ausf\xFC" "hren");  // texts are Windows-1252
    StopCurrentJob();
    platform::sleepMs(20);
    channel_.SoundSetPosition(0);
    channel_.SoundSetError(0);
  }
  dispatch();
}

void Worker::dispatch() {
  const std::string command = request_.command;  // a nested call may change the record meanwhile
  if (is(command, "decode")) {
    executors_.decode(*this);
  } else if (isOneOf(command, {"burnaudio", "burniso", "cdcopy", "grabwav", "grabmp3", "encode"})) {
    if (!is(command, status_.state)) {
      status_.state = command;
      executors_.start(command, *this);
    }
  } else if (is(command, "stop")) {
    if (!is(status_.state, "stop")) {
      Log("AktuellerStop Stop");
      StopCurrentJob();
    }
  } else if (isOneOf(command, {"end", "ende"})) {
    endOnCommand();
  }
}

void Worker::endOnCommand() {
  status_.state = "end";
  Log("AktuellerStop Ende");
  StopCurrentJob();
  channel_.KomSetString(std::string(kClearedSlotLength, '\0'), 0);  // so the end is not read again
  executors_.unload(*this);
  exitNow();
}

void Worker::StopCurrentJob() {
  Log("AktuellerStop");
  channel_.cdstop();
  executors_.closeAll(*this);
  if (!tempFile_.empty() && platform::fileExists(tempFile_)) platform::deleteFile(tempFile_);
  status_.state = "stop";
}

void Worker::EndWorker() {
  Log("FastEnd");
  channel_.KomSetString(std::string(kClearedSlotLength, '\0'), 0);
  executors_.unload(*this);
  close();
  platform::sleepMs(10);
  channel_.KomSetString(std::string("?") + std::string(100, '\0'), 1);  // tells the host how the worker ended
  exitNow();
}

void Worker::close() {
  StopCurrentJob();
  channel_.KomClose();
  if (!tempFile_.empty() && platform::fileExists(tempFile_)) platform::deleteFile(tempFile_);
}

void Worker::exitNow() {
  ended_ = true;
  timer1_.reset();
  tempTimer2_.reset();
  exitProcess_(0);
}

void Worker::WatchdogCheck() {
  if (platform::findWindow(kHostWindowClass, kHostWindowTitle)) {
    hostMissing_ = 0;
    hostMissingLimit_ = 12;
    return;
  }
  platform::sleepMs(100);
  ++hostMissing_;
  if (hostMissing_ >= 3 && hostMissing_ <= 20) {
    Log("Fenster Ende");
    writeCommand({{"Auftragsnummer", "2232213"}, {"command", "stop"}});
  }
  if (hostMissing_ > hostMissingLimit_) {
    Log("Fenster Ende");
    writeCommand({{"Auftragsnummer", "9123129"}, {"command", "end"}});
  }
}

void Worker::Log(const std::string& text) {
  if (testMode_ && view_.addLog) view_.addLog(text);
}

void Worker::writeCommand(const std::vector<std::pair<std::string, std::string>>& pairs) {
  channel_.KomSetString(buildMessage(pairs), 0);
}

int64_t FreeMegabytes(std::string_view path) {
  std::string root(path.substr(0, 3));
  if (platform::driveType(root) != platform::DriveType::Fixed) return 0;
  auto bytes = platform::freeBytes(root);
  if (!bytes || *bytes == 0) return 0;
  return static_cast<int64_t>(std::nearbyint(static_cast<double>(*bytes) / 1024.0 / 1024.0));
}

std::string MakeTempName(int n) {
  std::string folder(common::cutAtNul(platform::tempFolder().substr(0, 250)));
  if (folder.size() < 2 || folder[1] != ':') folder = "c:\\";
  if (folder.back() != '\\') folder += '\\';
  if (!platform::folderExists(folder)) platform::createFolder(folder);

  if (FreeMegabytes(folder) <= 140) {
    if (FreeMegabytes("c:\\") > 140) {
      folder = "c:\\";
    } else if (FreeMegabytes("d:\\") >= 180) {
      folder = "d:\\";
    } else if (FreeMegabytes("e:\\") >= 210) {
      folder = "e:\\";
    }
  }
  std::string name = folder + "qmx_mp" + common::twoDigits(n) + ".tmp";
  if (platform::fileExists(name)) platform::deleteFile(name);
  for (int k = 2; platform::fileExists(name) && k < 100000; ++k)
    name = folder + "qmx_mpa" + common::twoDigits(n + k) + ".tmp";
  return name;
}

}  // namespace taskhost
