#include "reverb.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "room_geometry.h"

namespace fx {

const ReverbPreset& reverbPreset(int number) {
  // absorption, line selector, room, scale, reflection gain, late filter type and cutoff, early filter type
  // and cutoff, damping type and cutoff, listener x y z, facing, speaker distance, direction, spacing, gain
  static const ReverbPreset kPresets[kPresetCount] = {
      {1, 3, 1, 10, 0.9f, 0, 500, 1, 16000, 1, 6200, 0.2f, 0.1f, 0.15f, -0.8f, 2, -0.8f, 0.5f, 2.4f},
      {0.997f, 3, 5, 17, 0.8f, 0, 8300, 1, 12000, 1, 4200, -0.01f, 0.18f, -0.1f, -0.2f, 1, -0.2f, 2, 1.1f},
      {1, 1, 0, 10, 0.9f, 0, 500, 1, 16000, 1, 6200, 0.2f, 0.1f, 0.15f, -0.8f, 1, -0.8f, 1, 0.9f},
      {0.997f, 3, 0, 4, 0.54f, 0, 8300, 1, 13000, 1, 2900, -0.01f, 0.08f, -0.1f, -0.2f, 4.5f, -0.2f, 1, 0.8f},
      {0.997f, 3, 5, 13, 0.8f, 0, 8300, 1, 12000, 1, 4200, -0.02f, 0.18f, -0.1f, -0.2f, 1, -0.5f, 3, 1.7f},
  };
  return kPresets[std::clamp(number, 0, kPresetCount - 1)];
}

cReverb::cReverb(ReverbTables tables) : tables_(std::move(tables)) {}

void cReverb::reset() {
  if (early_) early_->reset();
  if (late_) late_->reset();
  for (cFilterLine& f : earlyFilter_) f.reset();
  for (cFilterLine& f : lateFilter_) f.reset();
  for (cPan3D& p : direct_) p.reset();
}

namespace {

// Tap delay and gain of one image source heard by both ears.
void imageTaps(const Vec3& image, const Vec3& listener, const RoomTable& room, double wallFactor,
               int& delayLeft, float& gainLeft, int& delayRight, float& gainRight) {
  const Vec3 offset{image.x - listener.x, image.y - listener.y, image.z - listener.z};
  const double dist = std::sqrt(offset.x * offset.x + offset.y * offset.y + offset.z * offset.z);
  std::array<EarPath, 2> paths = earPaths(imageAzimuth(offset, room.facing), dist);
  auto tap = [&](const EarPath& path, int& delay, float& gain) {
    const double length = path.length;
    const double seconds = length / RoomTable::kSpeedOfSound;
    const double gamma = std::pow(room.absorption, length) / (length * length + 0.1);
    delay = static_cast<int>(std::min<long long>(roundHalfAway(seconds * kSampleRate), kMaxCandidateDelay * 8LL));
    gain = static_cast<float>(wallFactor * room.reflectionGain * gamma);
  };
  tap(paths[0], delayLeft, gainLeft);
  tap(paths[1], delayRight, gainRight);
}

}  // namespace

void cReverb::applyPreset(int number) {
  const ReverbPreset& p = reverbPreset(number);
  const int roomNumber = static_cast<int>(p[2]);
  RoomTable& room = tables_.rooms[std::min<size_t>(roomNumber, tables_.rooms.size() - 1)];
  room.scale = p[3];
  room.reflectionGain = p[4];
  room.absorption = p[0];
  room.listener[0] = p[11];
  room.listener[1] = p[12];
  room.listener[2] = p[13];
  room.facing = p[14];
  room.speakerDistance = p[15];
  room.speakerDirection = p[16];
  room.speakerSpacing = p[17];

  const Placement place = placeSpeakers(room);
  std::vector<cEarlyReflections::Tap> taps;
  for (const WallRecord& wall : room.walls) {
    cEarlyReflections::Tap tap;
    const Vec3 leftImage = mirror(place.leftSpeaker, wall, room.scale);
    const Vec3 rightImage = mirror(place.rightSpeaker, wall, room.scale);
    imageTaps(leftImage, place.listener, room, wall.r, tap.delay[0], tap.gain[0], tap.delay[1], tap.gain[1]);
    imageTaps(rightImage, place.listener, room, wall.r, tap.delay[2], tap.gain[2], tap.delay[3], tap.gain[3]);
    taps.push_back(tap);
  }
  early_ = std::make_unique<cEarlyReflections>(std::move(taps));

  const Vec3* speakers[2] = {&place.leftSpeaker, &place.rightSpeaker};
  for (int s = 0; s < 2; ++s) {
    const double dx = speakers[s]->x - place.listener.x;
    const double dy = speakers[s]->y - place.listener.y;
    const double azimuth = wrapAngle(std::numbers::pi / 2 - std::atan2(dy, dx) - room.facing);
    direct_[s].configure(azimuth, std::sqrt(dx * dx + dy * dy));
  }

  DiffusionSettings late;
  late.absorption = p[0];
  late.lineSelector = static_cast<int>(p[1]);
  late.scale = p[3];
  late.reflectionGain = p[4];
  late.dampingType = static_cast<int>(p[9]);
  late.dampingCutoff = p[10];
  late_ = std::make_unique<cDiffusion>(room, late, tables_);

  for (cFilterLine& f : earlyFilter_) {
    f = cFilterLine();
    f.setCoefficients(designReverbFilter(static_cast<int>(p[7]), p[8]));
  }
  for (cFilterLine& f : lateFilter_) {
    f = cFilterLine();
    f.setCoefficients(designReverbFilter(static_cast<int>(p[5]), p[6]));
  }
  outputGain_ = p[18];
}

void cReverb::reserve(int samples) {
  if (samples > static_cast<int>(workLeft_.size())) {
    workLeft_.resize(samples);
    workRight_.resize(samples);
  }
}

void cReverb::process(float* left, float* right, float* scratchLeft, float* scratchRight, int n) {
  // Only a caller that skipped reserve() pays for growing here.
  reserve(n);
  float* workLeft = workLeft_.data();
  float* workRight = workRight_.data();

  cPan3D::processBoth(direct_[0], left, direct_[1], right, scratchLeft, scratchRight, n);

  early_->process(left, right, workLeft, workRight, n);
  cFilterLine::processPair({&earlyFilter_[0], workLeft, workLeft, 0, 1.0, false},
                           {&earlyFilter_[1], workRight, workRight, 0, 1.0, false}, n);
  for (int i = 0; i < n; ++i) {
    scratchLeft[i] += workLeft[i];
    scratchRight[i] += workRight[i];
    workLeft[i] = (workLeft[i] + workRight[i]) * 0.5f;
  }

  late_->process(workLeft, workRight, n);
  cFilterLine::processPair({&lateFilter_[0], workLeft, scratchLeft, 0, 1.0, true},
                           {&lateFilter_[1], workRight, scratchRight, 0, 1.0, true}, n);

  const float gain = outputGain_;
  for (int i = 0; i < n; ++i) {
    left[i] = gain * scratchLeft[i];
    right[i] = gain * scratchRight[i];
  }
}

}  // namespace fx
