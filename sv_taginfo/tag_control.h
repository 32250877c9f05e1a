#pragma once
// The tag information control: reads the tag texts and technical values of one WAV or MP3 file at a
// time into the engine's "TagInfo.…" variables, and writes the variables back into the file.

#include <string>
#include <utility>
#include <vector>

#include "outside/eclient/engine.h"
#include "platform/controls.h"
#include "platform/library.h"
#include "sv_taginfo/mpeg_frame.h"

namespace taginfo {

enum class FileKind { Wav = 1, Id3v2Mp3 = 2, PlainMp3 = 3, Other = 4 };

FileKind fileKind(const std::string& path);
// Doubled backslashes collapsed, one pair at a time, the leading pair too.
std::string cleanPath(std::string path);

class TagControl : public platform::ControlBase {
 public:
  TagControl();

  void parseFile(const std::string& path);
  void saveFile(const std::string& path);
  void readWav(const std::string& path);
  void readPlainMp3(const std::string& path);
  void readId3v2Mp3(const std::string& path);
  void writeWav(const std::string& path);
  void writeId3v2Mp3(const std::string& path);
  void writePlainMp3(const std::string& path);
  void publishGenre(const std::string& number);

 private:
  using Values = std::vector<std::pair<const char*, std::string>>;
  void registerMethods();
  void publish(const Values& values);
  // The value of a variable, with the marker read as empty.
  std::string readBack(const char* variable);

  eclient::Engine engine_;
  platform::BoundLibrary wavfind_{"sv_wavfind.dll"};
  platform::BoundLibrary mp3find_{"sv_MP3Find.dll"};
  Analysis analysis_;  // the last analysis of an MP3 file with an ID3v2 tag
};

}  // namespace taginfo
