#pragma once
// Files and folders named by the suite's paths (see paths.h), with the system's rules: attributes,
// read-only files that refuse deletion until their attributes are cleared, listings by wildcard.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// File attribute bits as the system reports them.
enum Attribute : uint32_t {
  kAttrNormal = 0,
  kAttrReadOnly = 1,
  kAttrHidden = 2,  // a name starting with "."
  kAttrSystem = 4,  // never set on this system
  kAttrDirectory = 16,
  kAttrArchive = 32,
};

bool fileExists(std::string_view path);    // a file, not a folder
bool folderExists(std::string_view path);  // a folder, not a file
std::optional<uint64_t> fileLength(std::string_view path);

std::optional<uint32_t> attributes(std::string_view path);
// Only the read-only bit can change here: clearing it makes the file writable for its owner.
bool setAttributes(std::string_view path, uint32_t attributes);

// Fails on a read-only file, as the system does, and on a folder.
bool deleteFile(std::string_view path);
// Fails when the target exists (unless it is the source itself under another case).
bool renameFile(std::string_view from, std::string_view to);
// Moves from over to in one step, replacing it: no reader ever sees a half-written to.
bool replaceFile(std::string_view from, std::string_view to);
// Copies, replacing the target; a copy that fails leaves an existing target as it was.
bool copyFile(std::string_view from, std::string_view to, bool replace = true);
bool createFolder(std::string_view path);  // one level; its parent must exist
bool removeFolder(std::string_view path);  // only an empty folder

// Names (without folder) of the entries that match the pattern, a path whose last component may hold
// '*' and '?' ("c:\music\*.mp3", "*.*"). Plain files are always listed; hidden and system files only
// when their bits are asked for, folders only with kAttrDirectory. "." and ".." are never listed.
// Sorted without regard to case, as the system's own disks deliver them.
std::vector<std::string> listDirectory(std::string_view pattern, uint32_t attributes = kAttrNormal);

// One entry of a folder walk: a plain file (a link to one counts) or a real folder.
struct FolderEntry {
  std::string name;
  bool folder = false;
};
// Every file and folder of a folder, hidden ones too, for walks over trees: a link to a folder is left
// out, so a walk never follows one and never loops; other special files are left out as well. Names are
// in the suite's ANSI form, except under a folder given as a POSIX path, where they stay as the file
// system holds them so that folder and name lead back to the file. The order does not depend on the file
// system: ASCII letters folded to lower case, ties broken by byte order. Empty when the folder cannot be
// listed.
std::vector<FolderEntry> listFolder(std::string_view folder);

// Windows wildcard match of a file name: '*' any run, '?' any one character, case ignored; "*.*" matches
// every name and "name.*" also matches "name".
bool wildcardMatch(std::string_view name, std::string_view pattern);

// Whole-file reading and writing in binary, for the small text files the suite keeps.
std::optional<std::string> readFile(std::string_view path);
bool writeFile(std::string_view path, std::string_view content);

}  // namespace platform
