#pragma once
// RIFF chunk reading and writing: find a form, a list or a chunk by id, step into it, step out of it past
// its data and pad byte, create chunks whose sizes are written when they are closed.
//
// Sizes read from a file are never trusted: a chunk that claims more bytes than its parent (or the file)
// holds is cut to what is there, so no walk, read or copy ever goes past the parent.

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/binary_file.h"

namespace common::riff {

// A four-character code as stored: the first character in the lowest byte.
using FourCC = uint32_t;
constexpr FourCC fourCC(const char (&id)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(id[0])) | static_cast<uint32_t>(static_cast<uint8_t>(id[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(id[2])) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(id[3])) << 24;
}
constexpr FourCC kRiff = fourCC("RIFF");
constexpr FourCC kList = fourCC("LIST");

struct Chunk {
  FourCC id = 0;
  FourCC type = 0;            // form or list type of a RIFF or LIST chunk, else 0
  uint32_t declaredSize = 0;  // the size field as stored
  uint64_t dataOffset = 0;    // first byte after the size field (where a form or list type starts)
  uint64_t contentOffset = 0; // where the contents start: after the type of a RIFF or LIST chunk
  uint64_t size = 0;          // bytes of data really held: the declared size cut to the parent and the file
  uint64_t limit = 0;         // end of the parent: nothing of this chunk lies beyond it

  static bool typed(FourCC id) { return id == kRiff || id == kList; }
  uint64_t contentEnd() const { return dataOffset + size; }
  // The first byte after the chunk, its pad byte included.
  uint64_t end() const;
  // True when the file holds every byte the size field claims.
  bool complete() const { return size == declaredSize; }
};

// Walks the chunks of a file opened for reading, from a current position as the system's RIFF calls do.
class Reader {
 public:
  explicit Reader(const BinaryFile& file) : file_(file), fileSize_(file.size()) {}

  // The chunk at the current position inside parent (the whole file when null), positioned at its
  // contents; empty when no complete header fits.
  std::optional<Chunk> descend(const Chunk* parent);
  // From the current position on, the first chunk inside parent with id (and, for RIFF and LIST, type)
  // positioned at its contents; chunks in between are skipped, not entered. When none is found the
  // position is left at the end of parent.
  std::optional<Chunk> find(const Chunk* parent, FourCC id, FourCC type = 0);
  // Leaves a chunk: the position moves past its data and pad byte.
  void ascend(const Chunk& chunk) { position_ = chunk.end(); }

  // Reads from the current position, never past the chunk's data; fewer bytes at its end.
  size_t read(const Chunk& chunk, void* buffer, size_t count);
  // Skips bytes of the chunk's data, never past it.
  uint64_t skip(const Chunk& chunk, uint64_t count);

  uint64_t position() const { return position_; }
  void seek(uint64_t position) { position_ = position; }
  uint64_t fileSize() const { return fileSize_; }

 private:
  uint64_t limitOf(const Chunk* parent) const;

  const BinaryFile& file_;
  uint64_t fileSize_;
  uint64_t position_ = 0;
};

// A chunk being written: its header is in place, its size is written when it is closed.
struct OpenChunk {
  uint64_t headerOffset = 0;
  uint64_t dataOffset = 0;
};

// Writes chunks one after the other from the start of a file opened for writing.
class Writer {
 public:
  explicit Writer(BinaryFile& file, uint64_t position = 0) : file_(file), position_(position) {}

  // Writes the header of a chunk: its id and a provisional size.
  std::optional<OpenChunk> create(FourCC id, uint32_t size = 0);
  // Writes the header of a RIFF form or a LIST with its type.
  std::optional<OpenChunk> createForm(FourCC id, FourCC type);
  bool write(const void* data, size_t count);
  // Appends count bytes of source from sourceOffset; fewer when the source ends.
  uint64_t copy(const BinaryFile& source, uint64_t sourceOffset, uint64_t count);
  // Closes a chunk: writes its real size and a pad byte when the size is odd. Fails when a write fails or
  // the chunk outgrew the 32-bit size field.
  bool ascend(const OpenChunk& chunk);
  // A whole chunk from bytes in memory.
  bool writeChunk(FourCC id, std::string_view data);

  uint64_t position() const { return position_; }

 private:
  BinaryFile& file_;
  uint64_t position_;
};

}  // namespace common::riff
