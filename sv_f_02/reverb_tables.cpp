#include "reverb_tables.h"

#include <cmath>

namespace fx {

namespace {

bool readCount(std::istream& in, int& count, int limit) {
  return static_cast<bool>(in >> count) && count >= 0 && count <= limit;
}

// A wall plane with a unit normal, not absurdly far out, reflecting at most all that reaches it.
bool plausibleWall(const WallRecord& w) {
  auto unitComponent = [](double v) { return std::isfinite(v) && std::fabs(v) <= 1.001; };
  return unitComponent(w.nx) && unitComponent(w.ny) && unitComponent(w.nz) && std::isfinite(w.d) &&
         std::fabs(w.d) <= kMaxWallDistance && std::isfinite(w.r) && w.r >= 0.0 && w.r <= 1.0;
}

}  // namespace

std::optional<ReverbTables> readReverbTables(std::istream& in) {
  ReverbTables tables;
  int count = 0;
  if (!readCount(in, count, 1 << 30)) return std::nullopt;
  for (int i = 0; i < count; ++i) {
    int delay = 0;
    if (!(in >> delay) || delay < 0 || delay > kMaxCandidateDelay) return std::nullopt;
    tables.candidates.insert(delay);
  }

  if (!readCount(in, count, kMaxMatrices)) return std::nullopt;
  for (int i = 0; i < count; ++i) {
    int size = 0;
    if (!(in >> size) || size != 2 * i + 2) return std::nullopt;
    std::vector<float> matrix(static_cast<size_t>(size) * size);
    for (float& entry : matrix)
      if (!(in >> entry) || !std::isfinite(entry)) return std::nullopt;
    tables.matrices.push_back(std::move(matrix));
  }

  std::string name;
  while (in >> name) {
    RoomTable room;
    room.name = name;
    if (!readCount(in, count, kMaxWalls)) return std::nullopt;
    for (int i = 0; i < count; ++i) {
      WallRecord w;
      if (!(in >> w.nx >> w.ny >> w.nz >> w.d >> w.r)) return std::nullopt;
      if (!plausibleWall(w)) return std::nullopt;
      room.walls.push_back(w);
    }
    tables.rooms.push_back(std::move(room));
  }
  // The presets need a room to stand in.
  if (tables.rooms.empty()) return std::nullopt;
  return tables;
}

}  // namespace fx
