#include "diffusion.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "random_source.h"

namespace fx {

namespace {

// Keeps the list in ascending order; an equal distance goes after those already present.
void insertSorted(std::vector<PairEntry>& list, PairEntry entry) {
  auto at = std::upper_bound(list.begin(), list.end(), entry.distance,
                             [](double d, const PairEntry& e) { return d < e.distance; });
  list.insert(at, entry);
}

double randomUnit() { return static_cast<double>(libraryRandom().next()) / RandomSource::kMax; }

}  // namespace

std::vector<PairEntry> lineDistances(const std::vector<WallRecord>& walls, int lines) {
  std::vector<PairEntry> list;
  for (size_t i = 0; i < walls.size(); ++i)
    for (size_t j = i + 1; j < walls.size(); ++j) {
      const WallRecord& a = walls[i];
      const WallRecord& b = walls[j];
      const double dx = a.d * a.nx - b.d * b.nx, dy = a.d * a.ny - b.d * b.ny, dz = a.d * a.nz - b.d * b.nz;
      insertSorted(list, {std::sqrt(dx * dx + dy * dy + dz * dz), std::sqrt(a.r * b.r)});
    }
  while (static_cast<int>(list.size()) > lines && list.size() >= 2) {
    size_t best = 0;
    for (size_t k = 1; k + 1 < list.size(); ++k)
      if (list[k + 1].distance - list[k].distance < list[best + 1].distance - list[best].distance) best = k;
    PairEntry merged{(list[best].distance + list[best + 1].distance) / 2.0,
                     std::sqrt(list[best].gain * list[best + 1].gain)};
    list[best] = merged;
    list.erase(list.begin() + static_cast<long>(best) + 1);
  }
  // A room of fewer than two walls has no pairs: its lines get no length and no feedback.
  if (list.empty()) list.assign(static_cast<size_t>(std::max(lines, 0)), PairEntry{0.0, 0.0});
  for (size_t k = 0; static_cast<int>(list.size()) < lines; ++k) {
    const PairEntry reached = list[k];
    insertSorted(list, {2.0 * reached.distance, reached.gain * reached.gain});
  }
  list.resize(static_cast<size_t>(std::max(lines, 0)));
  return list;
}

std::vector<int> snapToCandidates(const std::vector<int>& delays, const std::set<int>& candidates) {
  std::vector<int> snapped;
  std::set<int> taken;
  for (int delay : delays) {
    int best = 0;
    bool found = false;
    long long bestDistance = 0;
    for (int candidate : candidates) {
      if (taken.count(candidate)) continue;
      long long distance = std::llabs(static_cast<long long>(candidate) - delay);
      if (!found || distance < bestDistance) {
        best = candidate;
        bestDistance = distance;
        found = true;
      }
    }
    if (found) taken.insert(best);
    snapped.push_back(found ? best : 0);
  }
  return snapped;
}

cDiffusion::cDiffusion(const RoomTable& room, const DiffusionSettings& settings, const ReverbTables& tables) {
  const int matrixCount = static_cast<int>(tables.matrices.size());
  int matrixIndex;
  if (settings.lineSelector >= 0 && settings.lineSelector < matrixCount) {
    lines_ = 2 * settings.lineSelector + 2;
    matrixIndex = settings.lineSelector;
  } else {
    lines_ = 2 * matrixCount;
    matrixIndex = matrixCount - 1;
  }
  const int g = lines_;

  std::vector<PairEntry> entries = lineDistances(room.walls, g);
  std::vector<int> rawDelays(g);
  decay_.resize(g);
  for (int m = 0; m < g; ++m) {
    const double length = entries[m].distance * settings.scale;
    // Far beyond any candidate, so clamping changes no snapped delay but keeps the conversion defined.
    const double samples = std::min(length / RoomTable::kSpeedOfSound * kSampleRate, 1e9);
    rawDelays[m] = static_cast<int>(roundHalfAway(samples));
    decay_[m] = static_cast<float>(std::pow(settings.absorption, length) * entries[m].gain *
                                   settings.reflectionGain);
  }
  delay_ = snapToCandidates(rawDelays, tables.candidates);

  inputGain_.assign(g, 1.0f);
  leftWeight_.resize(g);
  rightWeight_.resize(g);
  for (int m = 0; m < g; ++m) {
    const double r = randomUnit() + 0.5;
    leftWeight_[m] = static_cast<float>(r);
    rightWeight_[m] = static_cast<float>(1.0 / r);
  }

  FilterCoefficients damping = designReverbFilter(settings.dampingType, settings.dampingCutoff);
  dampB_.assign(damping.b.begin(), damping.b.end());
  dampA_.assign(damping.a.begin(), damping.a.end());
  const int taps = static_cast<int>(dampB_.size());

  buffers_.resize(g);
  bufferMask_.resize(g);
  bufferWrite_.assign(g, 0);
  history_.resize(g);
  historyWrite_.assign(g, 0);
  const int historyLength = powerOfTwoAtLeast(taps);
  historyMask_ = historyLength - 1;
  for (int m = 0; m < g; ++m) {
    const int length = powerOfTwoAtLeast(std::max(delay_[m], taps));
    buffers_[m].assign(length, 0.0f);
    bufferMask_[m] = length - 1;
    history_[m].assign(historyLength, 0.0f);
  }
  output_.assign(g, 0.0f);
  longestStretch_ = kMaxChunk;
  for (int m = 0; m < g; ++m)
    for (int k = 0; k < taps; ++k) {
      const int gap = (delay_[m] + k) & bufferMask_[m];
      if (gap != 0) longestStretch_ = std::min(longestStretch_, gap);
    }
  lineOut_.assign(static_cast<size_t>(g) * kMaxChunk, 0.0f);
  mixed_.assign(kMaxChunk, 0.0f);

  cosine_.resize(g / 2);
  sine_.resize(g / 2);
  for (int p = 0; p < g / 2; ++p) {
    const double angle = (randomUnit() - 0.5) * 0.05;
    cosine_[p] = static_cast<float>(std::cos(angle));
    sine_[p] = static_cast<float>(std::sin(angle));
  }

  base_.assign(static_cast<size_t>(g) * g, 0.0f);
  if (matrixIndex >= 0) base_ = tables.matrices[matrixIndex];
  working_.resize(base_.size());
  for (int i = 0; i < g; ++i)
    for (int k = 0; k < g; ++k) working_[i * g + k] = base_[i * g + k] * decay_[i];
  nextBase_.assign(base_.size(), 0.0f);
  nextWorking_.assign(base_.size(), 0.0f);
}

void cDiffusion::reset() {
  for (auto& buffer : buffers_) std::fill(buffer.begin(), buffer.end(), 0.0f);
  for (auto& history : history_) std::fill(history.begin(), history.end(), 0.0f);
  std::fill(output_.begin(), output_.end(), 0.0f);
}

void cDiffusion::turnMatrixStep() {
  if (pause_ > 0) {
    --pause_;
    return;
  }
  const int g = lines_;
  const int r = cursorRow_, c = cursorColumn_;
  // Entry (r, c) of B^T M B, B block-diagonal with rows 2p, 2p+1 = [[cos, -sin], [sin, cos]].
  auto rotation = [this](int row, int column) {
    const int p = row / 2;
    if (row == column) return cosine_[p];
    return row < column ? -sine_[p] : sine_[p];
  };
  const int r0 = r & ~1, c0 = c & ~1;
  float entry = 0.0f;
  for (int j = r0; j <= r0 + 1; ++j) {
    float inner = 0.0f;
    for (int i = c0; i <= c0 + 1; ++i) inner += base_[j * g + i] * rotation(i, c);
    entry += rotation(j, r) * inner;
  }
  nextBase_[r * g + c] = entry;
  nextWorking_[r * g + c] = entry * decay_[r];
  if (++cursorColumn_ == g) {
    cursorColumn_ = 0;
    if (++cursorRow_ == g) {
      cursorRow_ = 0;
      base_.swap(nextBase_);
      working_.swap(nextWorking_);
      pause_ = static_cast<int>(roundHalfAway(libraryRandom().next() * 1000.0 / RandomSource::kMax));
    }
  }
}

long long cDiffusion::samplesToSwap() const {
  const int g = lines_;
  return static_cast<long long>(pause_) + (static_cast<long long>(g) * g - (cursorRow_ * g + cursorColumn_));
}

void cDiffusion::process(float* inOut, float* right, int n) {
  if (lines_ == 0) {
    std::fill(inOut, inOut + n, 0.0f);
    std::fill(right, right + n, 0.0f);
    return;
  }
  int done = 0;
  while (done < n) {
    // The sample whose matrix step swaps the matrices starts a stretch of its own.
    long long untilSwap = samplesToSwap();
    int m = std::min(n - done, longestStretch_);
    if (untilSwap > 1) m = static_cast<int>(std::min<long long>(m, untilSwap - 1));
    else m = 1;
    for (int t = 0; t < m; ++t) turnMatrixStep();
    processStretch(inOut + done, right + done, m);
    done += m;
  }
}

namespace {
using Lanes = float __attribute__((vector_size(16)));
}  // namespace

template <int Taps>
void cDiffusion::lineOutputs(int m) {
  // Four lines side by side in the lanes of a vector; each lane does its line's own float arithmetic in its
  // own order. The last outputs shift through registers; the histories get them back at the end.
  const int g = lines_;
  const float inverseA0 = 1.0f / dampA_[0];
  const int historyMask = historyMask_;
  const int hw = historyWrite_[0];
  static const float kSilence[1] = {0.0f};
  for (int j0 = 0; j0 < g; j0 += 4) {
    const float* buffer[4];
    int mask[4], start[4];
    Lanes previous[Taps] = {};
    for (int lane = 0; lane < 4; ++lane) {
      const int j = j0 + lane;
      const bool real = j < g;
      buffer[lane] = real ? buffers_[j].data() : kSilence;
      mask[lane] = real ? bufferMask_[j] : 0;
      start[lane] = real ? bufferWrite_[j] - delay_[j] : 0;
      for (int k = 1; k < Taps; ++k) previous[k][lane] = real ? history_[j][(hw - k) & historyMask] : 0.0f;
    }
    float* out[4];
    float spare[kMaxChunk];
    for (int lane = 0; lane < 4; ++lane)
      out[lane] = j0 + lane < g ? &lineOut_[static_cast<size_t>(j0 + lane) * kMaxChunk] : spare;
    for (int t = 0; t < m; ++t) {
      Lanes feedForward = {0.0f, 0.0f, 0.0f, 0.0f};
      for (int k = 0; k < Taps; ++k) {
        const Lanes taken = {buffer[0][(start[0] + t - k) & mask[0]], buffer[1][(start[1] + t - k) & mask[1]],
                             buffer[2][(start[2] + t - k) & mask[2]], buffer[3][(start[3] + t - k) & mask[3]]};
        feedForward += dampB_[k] * taken;
      }
      Lanes feedBack = {0.0f, 0.0f, 0.0f, 0.0f};
      for (int k = 1; k < Taps; ++k) feedBack += dampA_[k] * previous[k];
      const Lanes o = (feedForward - feedBack) * inverseA0;
      for (int k = Taps - 1; k > 1; --k) previous[k] = previous[k - 1];
      if constexpr (Taps > 1) previous[1] = o;
      for (int lane = 0; lane < 4; ++lane) out[lane][t] = o[lane];
    }
    for (int lane = 0; lane < 4 && j0 + lane < g; ++lane) {
      const int j = j0 + lane;
      const int end = (hw + m) & historyMask;
      if constexpr (Taps > 1) {
        for (int k = 1; k < Taps; ++k) history_[j][(end - k) & historyMask] = previous[k][lane];
      } else {
        history_[j][(end - 1) & historyMask] = out[lane][m - 1];
      }
      output_[j] = out[lane][m - 1];
    }
  }
  for (int j = 0; j < g; ++j) historyWrite_[j] = (hw + m) & historyMask;
}

void cDiffusion::processStretch(float* inOut, float* right, int m) {
  const int g = lines_;
  switch (dampB_.size()) {
    case 1: lineOutputs<1>(m); break;
    case 2: lineOutputs<2>(m); break;
    default: lineOutputs<3>(m); break;
  }
  // Line inputs: the working matrix times the outputs, summed in line order for every sample. Four rows
  // and eight samples at a time keep the sums in registers.
  const float* w = working_.data();
  for (int j0 = 0; j0 < g; j0 += 4) {
    const int rows = std::min(4, g - j0);
    float weight[4][2 * kMaxMatrices] = {};
    for (int r = 0; r < rows; ++r)
      for (int k = 0; k < g; ++k) weight[r][k] = w[(j0 + r) * g + k];
    for (int t0 = 0; t0 < m; t0 += 8) {
      float sum[4][8] = {};
      for (int k = 0; k < g; ++k) {
        const float* out = &lineOut_[static_cast<size_t>(k) * kMaxChunk + t0];
        for (int r = 0; r < 4; ++r)
          for (int t = 0; t < 8; ++t) sum[r][t] += weight[r][k] * out[t];
      }
      const int length = std::min(8, m - t0);
      for (int r = 0; r < rows; ++r) {
        const int j = j0 + r;
        float* buffer = buffers_[j].data();
        const int mask = bufferMask_[j];
        const int write = bufferWrite_[j] + t0;
        const float gain = inputGain_[j];
        for (int t = 0; t < length; ++t) buffer[(write + t) & mask] = gain * inOut[t0 + t] + sum[r][t];
      }
    }
  }
  for (int j = 0; j < g; ++j) bufferWrite_[j] = (bufferWrite_[j] + m) & bufferMask_[j];
  // The two outputs, summed in line order.
  std::fill(inOut, inOut + m, 0.0f);
  std::fill(right, right + m, 0.0f);
  for (int j = 0; j < g; ++j) {
    const float* out = &lineOut_[static_cast<size_t>(j) * kMaxChunk];
    const float wl = leftWeight_[j], wr = rightWeight_[j];
    for (int t = 0; t < m; ++t) {
      inOut[t] += wl * out[t];
      right[t] += wr * out[t];
    }
  }
}

}  // namespace fx
