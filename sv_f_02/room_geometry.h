#pragma once
// Sound paths from a source to the two ears of a spherical head, and the positions a preset implies.

#include <array>

#include "reverb_tables.h"

namespace fx {

struct EarPath {
  double length = 0.0;     // metres
  double direction = 0.0;  // angle of the straight line from the ear to the source, [0, 2 pi)
  bool shadowed = false;   // the path bends round the head
};

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

// Reduces an angle into [0, 2 pi).
double wrapAngle(double angle);

// Paths to the left and the right ear of a source at `azimuth` (positive below pi: on the right) and
// `distance` from the head centre. A source inside the head is taken as standing on its surface.
std::array<EarPath, 2> earPaths(double azimuth, double distance);

// Azimuth of a point seen from the listener, in the head frame, from its offset in the room.
double imageAzimuth(const Vec3& offset, double facing);

struct Placement {
  Vec3 listener;
  Vec3 leftSpeaker;
  Vec3 rightSpeaker;
};

Placement placeSpeakers(const RoomTable& room);

// The mirror image of a point in a wall plane.
Vec3 mirror(const Vec3& point, const WallRecord& wall, double scale);

}  // namespace fx
