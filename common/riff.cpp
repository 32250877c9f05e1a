#include "common/riff.h"

#include <algorithm>
#include <limits>

namespace common::riff {

uint64_t Chunk::end() const {
  uint64_t padded = dataOffset + size + (size & 1);
  return std::min(padded, limit);
}

uint64_t Reader::limitOf(const Chunk* parent) const {
  return parent != nullptr ? std::min(parent->contentEnd(), fileSize_) : fileSize_;
}

std::optional<Chunk> Reader::descend(const Chunk* parent) {
  uint64_t limit = limitOf(parent);
  if (parent != nullptr && position_ < parent->contentOffset) position_ = parent->contentOffset;
  if (position_ > limit || limit - position_ < 8) return std::nullopt;
  uint8_t header[12] = {};
  if (file_.readAt(position_, header, 8) < 8) return std::nullopt;
  Chunk chunk;
  chunk.id = readLe32(header);
  chunk.declaredSize = readLe32(header + 4);
  chunk.dataOffset = position_ + 8;
  chunk.limit = limit;
  chunk.size = std::min<uint64_t>(chunk.declaredSize, limit - chunk.dataOffset);
  chunk.contentOffset = chunk.dataOffset;
  // A list too short to hold its type is an untyped chunk that no search for a type finds.
  if (Chunk::typed(chunk.id) && chunk.size >= 4 && file_.readAt(chunk.dataOffset, header + 8, 4) == 4) {
    chunk.type = readLe32(header + 8);
    chunk.contentOffset += 4;
  }
  position_ = chunk.contentOffset;
  return chunk;
}

std::optional<Chunk> Reader::find(const Chunk* parent, FourCC id, FourCC type) {
  while (true) {
    uint64_t at = position_;
    std::optional<Chunk> chunk = descend(parent);
    if (!chunk) {
      position_ = std::max(at, limitOf(parent));
      return std::nullopt;
    }
    if (chunk->id == id && (!Chunk::typed(id) || type == 0 || chunk->type == type)) return chunk;
    ascend(*chunk);
  }
}

size_t Reader::read(const Chunk& chunk, void* buffer, size_t count) {
  if (position_ < chunk.dataOffset || position_ >= chunk.contentEnd()) return 0;
  size_t want = static_cast<size_t>(std::min<uint64_t>(count, chunk.contentEnd() - position_));
  size_t got = file_.readAt(position_, buffer, want);
  position_ += got;
  return got;
}

uint64_t Reader::skip(const Chunk& chunk, uint64_t count) {
  if (position_ < chunk.dataOffset || position_ >= chunk.contentEnd()) return 0;
  uint64_t step = std::min(count, chunk.contentEnd() - position_);
  position_ += step;
  return step;
}

std::optional<OpenChunk> Writer::create(FourCC id, uint32_t size) {
  uint8_t header[8];
  writeLe32(header, id);
  writeLe32(header + 4, size);
  OpenChunk chunk{position_, position_ + 8};
  if (!write(header, sizeof header)) return std::nullopt;
  return chunk;
}

std::optional<OpenChunk> Writer::createForm(FourCC id, FourCC type) {
  std::optional<OpenChunk> chunk = create(id);
  uint8_t field[4];
  writeLe32(field, type);
  if (!chunk || !write(field, sizeof field)) return std::nullopt;
  return chunk;
}

bool Writer::write(const void* data, size_t count) {
  if (!file_.writeAt(position_, data, count)) return false;
  position_ += count;
  return true;
}

uint64_t Writer::copy(const BinaryFile& source, uint64_t sourceOffset, uint64_t count) {
  uint64_t done = 0;
  while (done < count) {
    size_t step = static_cast<size_t>(std::min<uint64_t>(count - done, 1u << 30));
    size_t moved = file_.copyFrom(source, sourceOffset + done, position_, step);
    position_ += moved;
    done += moved;
    if (moved < step) break;
  }
  return done;
}

bool Writer::ascend(const OpenChunk& chunk) {
  uint64_t size = position_ - chunk.dataOffset;
  if (size > std::numeric_limits<uint32_t>::max()) return false;
  uint8_t field[4];
  writeLe32(field, static_cast<uint32_t>(size));
  if (!file_.writeAt(chunk.headerOffset + 4, field, 4)) return false;
  if ((size & 1) != 0) {
    const uint8_t pad = 0;
    if (!write(&pad, 1)) return false;
  }
  return true;
}

bool Writer::writeChunk(FourCC id, std::string_view data) {
  std::optional<OpenChunk> chunk = create(id);
  return chunk && write(data.data(), data.size()) && ascend(*chunk);
}

}  // namespace common::riff
