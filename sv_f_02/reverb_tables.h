#pragma once
// The reverb's tables as read from "constants.dat": candidate delay lengths, mixing matrices, rooms.

#include <istream>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fx {

struct WallRecord {
  double nx = 0, ny = 0, nz = 0;  // unit normal of the wall plane
  double d = 0;                   // the plane is n.p = d * room scale
  double r = 0;                   // reflection factor
};

struct RoomTable {
  std::string name;
  std::vector<WallRecord> walls;
  // Placement written by the preset in use.
  double scale = 1.0;
  double reflectionGain = 1.0;
  double absorption = 1.0;
  double listener[3] = {0, 0, 0};
  double facing = 0.0;
  double speakerDistance = 0.0;
  double speakerDirection = 0.0;
  double speakerSpacing = 0.0;
  static constexpr double kHeadRadius = 0.085;
  static constexpr double kSpeedOfSound = 340.0;
};

struct ReverbTables {
  std::set<int> candidates;
  // Matrix i is (2i + 2) x (2i + 2), row after row.
  std::vector<std::vector<float>> matrices;
  std::vector<RoomTable> rooms;
};

// Limits that keep a damaged file from asking for absurd memory or time; real tables stay far below.
inline constexpr int kMaxCandidateDelay = 1 << 20;
inline constexpr int kMaxMatrices = 32;
inline constexpr int kMaxWalls = 256;
inline constexpr double kMaxWallDistance = 100.0;  // room units

// The tables, or nothing when the stream is unreadable, a number cannot be read, a matrix has the wrong
// size, a count or a delay lies beyond the limits, a wall is implausible (normal components beyond 1,
// distance beyond kMaxWallDistance, reflection factor outside 0 ... 1), or no room follows.
std::optional<ReverbTables> readReverbTables(std::istream& in);

}  // namespace fx
