#pragma once
// A plain file opened by host path, read and written at explicit offsets. Offsets instead of a shared
// position keep readers of one file (a chunk walker, a block copy) from disturbing each other.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace common {

class BinaryFile {
 public:
  enum class Mode {
    Read,       // an existing file, read only
    ReadWrite,  // an existing file, read and write
    Create,     // created or emptied, read and write
  };

  // Folders are refused in every mode: a folder given as a file is not a file. A file without its owner's
  // write permission (the read-only attribute) is refused for writing.
  static std::optional<BinaryFile> open(const std::filesystem::path& host, Mode mode);
  // A new file of a unique name in folder, starting with stem; its path is given back in made.
  static std::optional<BinaryFile> createUnique(const std::filesystem::path& folder, const std::string& stem,
                                                std::filesystem::path& made);

  BinaryFile(BinaryFile&& other) noexcept;
  BinaryFile& operator=(BinaryFile&& other) noexcept;
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;
  ~BinaryFile();

  uint64_t size() const;
  // Reads up to count bytes at offset; fewer at the end of the file or on an error.
  size_t readAt(uint64_t offset, void* buffer, size_t count) const;
  // Writes all count bytes at offset or reports failure.
  bool writeAt(uint64_t offset, const void* buffer, size_t count);
  // Copies up to count bytes from another file inside the kernel where it can; fewer at the end of the
  // source or on an error.
  size_t copyFrom(const BinaryFile& source, uint64_t sourceOffset, uint64_t offset, size_t count);
  // Makes what was written durable before the file replaces another.
  bool flush();
  void close();
  int descriptor() const { return fd_; }

 private:
  explicit BinaryFile(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// Little-endian fields as RIFF and the other formats of the suite store them.
inline uint16_t readLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t readLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline void writeLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void writeLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace common
