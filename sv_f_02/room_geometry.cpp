#include "room_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fx {

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
}  // namespace

double wrapAngle(double angle) {
  double wrapped = std::fmod(angle, kTwoPi);
  if (wrapped < 0) wrapped += kTwoPi;
  return wrapped >= kTwoPi ? 0.0 : wrapped;
}

std::array<EarPath, 2> earPaths(double azimuth, double distance) {
  const double r = RoomTable::kHeadRadius;
  const double theta = wrapAngle(azimuth);
  const double dist = std::max(distance, r);
  const double px = dist * std::cos(theta);
  const double py = dist * std::sin(theta);
  const double q = std::acos(std::min(1.0, r / dist));
  const double t = std::sqrt(std::max(0.0, dist * dist - r * r));

  std::array<EarPath, 2> paths;
  // Left ear at (0, -r).
  {
    const double vx = px, vy = py + r;
    EarPath& ear = paths[0];
    ear.direction = wrapAngle(std::atan2(vy, vx));
    ear.shadowed = true;
    if (ear.direction <= kPi / 2)
      ear.length = r * wrapAngle(theta + kPi / 2 - q) + t;
    else if (ear.direction <= kPi)
      ear.length = r * wrapAngle(3 * kPi / 2 - theta - q) + t;
    else {
      ear.length = std::hypot(vx, vy);
      ear.shadowed = false;
    }
  }
  // Right ear at (0, +r).
  {
    const double vx = px, vy = py - r;
    EarPath& ear = paths[1];
    ear.direction = wrapAngle(std::atan2(vy, vx));
    ear.shadowed = true;
    if (ear.direction <= kPi) {
      ear.length = std::hypot(vx, vy);
      ear.shadowed = false;
    } else if (ear.direction <= 3 * kPi / 2) {
      ear.length = r * wrapAngle(theta - kPi / 2 - q) + t;
    } else {
      ear.length = r * wrapAngle(kPi / 2 - theta - q) + t;
    }
  }
  return paths;
}

double imageAzimuth(const Vec3& offset, double facing) {
  const double dist = std::sqrt(offset.x * offset.x + offset.y * offset.y + offset.z * offset.z);
  // A point at the listener has no direction; it counts as straight ahead.
  double beta = 0.0;
  if (dist > 0.0) {
    const double s = std::asin(std::clamp(offset.x / dist, -1.0, 1.0));
    beta = offset.y >= 0 ? s : kPi - s;
  }
  return wrapAngle(beta - facing);
}

Placement placeSpeakers(const RoomTable& room) {
  Placement p;
  const double s = room.scale;
  p.listener = {room.listener[0] * s, room.listener[1] * s, room.listener[2] * s};
  const double alpha = room.speakerDirection;
  const double d = room.speakerDistance;
  const double half = room.speakerSpacing / 2.0;
  p.leftSpeaker = {p.listener.x + d * std::sin(alpha) - half * std::cos(alpha),
                   p.listener.y + d * std::cos(alpha) + half * std::sin(alpha), p.listener.z};
  p.rightSpeaker = {p.listener.x + d * std::sin(alpha) + half * std::cos(alpha),
                    p.listener.y + d * std::cos(alpha) - half * std::sin(alpha), p.listener.z};
  return p;
}

Vec3 mirror(const Vec3& point, const WallRecord& wall, double scale) {
  const double dot = wall.nx * point.x + wall.ny * point.y + wall.nz * point.z;
  const double k = 2.0 * (wall.d * scale - dot);
  return {point.x + k * wall.nx, point.y + k * wall.ny, point.z + k * wall.nz};
}

}  // namespace fx
