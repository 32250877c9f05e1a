#include "filter_line.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fx {

void cDelayLine::reset() {
  std::fill(data_.begin(), data_.end(), 0.0f);
}

void cDelayLine::resize(int minimumLength) {
  int length = powerOfTwoAtLeast(minimumLength, 2);
  if (length == static_cast<int>(data_.size())) return;
  // Keep the latest values in their order so a filter that only grows its history loses nothing.
  std::vector<float> grown(length, 0.0f);
  int keep = std::min(length, static_cast<int>(data_.size()));
  for (int i = 1; i <= keep; ++i) grown[(length - i) & (length - 1)] = ago(i);
  data_ = std::move(grown);
  mask_ = length - 1;
  write_ = 0;
}

FilterCoefficients designReverbFilter(int type, double cutoff) {
  FilterCoefficients f;
  if (type == 1) {
    double p = 1.0 - 4.0 * cutoff / kSampleRate;
    f.b = {(1.0 - p) / 2.0, (1.0 - p) / 2.0};
    f.a = {1.0, -p};
  } else if (type == 2) {
    double k = std::tan(std::numbers::pi * cutoff / kSampleRate);
    double d = k * k + std::sqrt(2.0) * k + 1.0;
    f.b = {k * k / d, 2.0 * k * k / d, k * k / d};
    f.a = {1.0, 2.0 * (k * k - 1.0) / d, (k * k - std::sqrt(2.0) * k + 1.0) / d};
  }
  return f;
}

void cFilterLine::reset() {
  input_.reset();
  output_.reset();
}

void cFilterLine::setCoefficients(const FilterCoefficients& coefficients, int delay) {
  b_.assign(coefficients.b.begin(), coefficients.b.end());
  a_.assign(coefficients.a.begin(), coefficients.a.end());
  int count = static_cast<int>(std::max(b_.size(), a_.size()));
  b_.resize(count, 0.0f);
  a_.resize(count, 0.0f);
  inverseA0_ = static_cast<float>(1.0 / coefficients.a[0]);
  int history = std::max(count, delay);
  if (history > input_.length()) {
    input_.resize(history);
    output_.resize(history);
  }
}

void cFilterLine::setCoefficients(const float* b, const float* a, int count) {
  b_.assign(b, b + count);
  a_.assign(a, a + count);
  inverseA0_ = 1.0f / a[0];
  if (count > input_.length()) {
    input_.resize(count);
    output_.resize(count);
  }
}

float cFilterLine::compute(float x) const {
  float y = b_[0] * x;
  for (size_t k = 1; k < b_.size(); ++k)
    y += b_[k] * input_.ago(static_cast<int>(k)) - a_[k] * output_.ago(static_cast<int>(k));
  return y * inverseA0_;
}

float cFilterLine::step(float x) {
  float y = compute(x);
  input_.push(x);
  output_.push(y);
  return y;
}

namespace {

// One line's coefficients and history positions held in registers for a loop.
template <int N>
struct LineKernel {
  float b[N], a[N];
  float inverseA0, gain;
  float* in;
  float* out;
  int mask, w, delay;
  const float* src;
  float* dst;
  bool add;
  double gainD;

  float step(int i) {
    const float x = src[i];
    float y = b[0] * x;
    for (int k = 1; k < N; ++k) y += b[k] * in[(w - k) & mask] - a[k] * out[(w - k) & mask];
    y *= inverseA0;
    // Read before the write: a history exactly `delay` long still holds the output of `delay` samples ago.
    const float passed = delay > 0 ? out[(w - delay) & mask] : y;
    in[w] = x;
    out[w] = y;
    w = (w + 1) & mask;
    return static_cast<float>(gainD * passed);
  }
};

}  // namespace

template <typename Kernel>
void cFilterLine::loadKernel(const Job& job, Kernel& k) {
  const cFilterLine& line = *job.line;
  for (size_t i = 0; i < std::size(k.b); ++i) {
    k.b[i] = line.b_[i];
    k.a[i] = line.a_[i];
  }
  k.inverseA0 = line.inverseA0_;
  k.in = job.line->input_.data();
  k.out = job.line->output_.data();
  k.mask = line.input_.mask();
  k.w = line.input_.writeIndex();
  k.delay = job.delay;
  k.src = job.src;
  k.dst = job.dst;
  k.add = job.add;
  k.gainD = job.gain;
}

template <int N>
void cFilterLine::run(const float* src, float* dst, int n, int delay, double gain, bool add) {
  // Input and output histories share length and position.
  LineKernel<N> k;
  loadKernel(Job{this, src, dst, delay, gain, add}, k);
  for (int i = 0; i < n; ++i) {
    const float value = k.step(i);
    dst[i] = add ? dst[i] + value : value;
  }
  input_.setWriteIndex(k.w);
  output_.setWriteIndex(k.w);
}


// A filter without output delay whose last N-1 inputs and outputs shift through registers; the circular
// histories get them back at the end.
template <int N>
struct ShiftKernel {
  float b[N], a[N], in[N], out[N];
  float inverseA0;
  float step(float x) {
    float y = b[0] * x;
    for (int k = 1; k < N; ++k) y += b[k] * in[k] - a[k] * out[k];
    y *= inverseA0;
    for (int k = N - 1; k > 1; --k) {
      in[k] = in[k - 1];
      out[k] = out[k - 1];
    }
    in[1] = x;
    out[1] = y;
    return y;
  }
};

template <int N1, int N2>
void cFilterLine::runPair(const Job& first, const Job& second, int n) {
  if constexpr (N1 == 5 && N2 == 5) {
    if (first.delay == 0 && second.delay == 0 && first.gain == 1.0 && second.gain == 1.0 && !first.add &&
        !second.add) {
      ShiftKernel<5> k[2];
      cFilterLine* lines[2] = {first.line, second.line};
      for (int j = 0; j < 2; ++j) {
        cFilterLine& line = *lines[j];
        for (int i = 0; i < 5; ++i) {
          k[j].b[i] = line.b_[i];
          k[j].a[i] = line.a_[i];
          if (i > 0) {
            k[j].in[i] = line.input_.ago(i);
            k[j].out[i] = line.output_.ago(i);
          }
        }
        k[j].inverseA0 = line.inverseA0_;
      }
      const float* src1 = first.src;
      const float* src2 = second.src;
      float* dst1 = first.dst;
      float* dst2 = second.dst;
#if defined(__SSE2__)
      // The two lines side by side in vector lanes, each with its own float arithmetic in its own order.
      __m128 b[5], a[5], in[5], out[5];
      for (int i = 0; i < 5; ++i) {
        b[i] = _mm_setr_ps(k[0].b[i], k[1].b[i], 0, 0);
        a[i] = _mm_setr_ps(k[0].a[i], k[1].a[i], 0, 0);
        in[i] = _mm_setr_ps(k[0].in[i], k[1].in[i], 0, 0);
        out[i] = _mm_setr_ps(k[0].out[i], k[1].out[i], 0, 0);
      }
      const __m128 inverse = _mm_setr_ps(k[0].inverseA0, k[1].inverseA0, 0, 0);
      alignas(16) float y[4];
      for (int i = 0; i < n; ++i) {
        const __m128 x = _mm_setr_ps(src1[i], src2[i], 0, 0);
        __m128 v = _mm_mul_ps(b[0], x);
        for (int j = 1; j < 5; ++j)
          v = _mm_add_ps(v, _mm_sub_ps(_mm_mul_ps(b[j], in[j]), _mm_mul_ps(a[j], out[j])));
        v = _mm_mul_ps(v, inverse);
        in[4] = in[3], in[3] = in[2], in[2] = in[1], in[1] = x;
        out[4] = out[3], out[3] = out[2], out[2] = out[1], out[1] = v;
        _mm_store_ps(y, v);
        dst1[i] = y[0];
        dst2[i] = y[1];
      }
      for (int i = 1; i < 5; ++i) {
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, in[i]);
        k[0].in[i] = lanes[0], k[1].in[i] = lanes[1];
        _mm_store_ps(lanes, out[i]);
        k[0].out[i] = lanes[0], k[1].out[i] = lanes[1];
      }
#else
      for (int i = 0; i < n; ++i) {
        dst1[i] = k[0].step(src1[i]);
        dst2[i] = k[1].step(src2[i]);
      }
#endif
      for (int j = 0; j < 2; ++j) {
        cDelayLine& in = lines[j]->input_;
        cDelayLine& out = lines[j]->output_;
        const int w = (in.writeIndex() + n) & in.mask();
        for (int i = 1; i < 5; ++i) {
          in.data()[(w - i) & in.mask()] = k[j].in[i];
          out.data()[(w - i) & out.mask()] = k[j].out[i];
        }
        in.setWriteIndex(w);
        out.setWriteIndex(w);
      }
      return;
    }
  }
  LineKernel<N1> one;
  LineKernel<N2> two;
  loadKernel(first, one);
  loadKernel(second, two);
  for (int i = 0; i < n; ++i) {
    const float v1 = one.step(i);
    const float v2 = two.step(i);
    one.dst[i] = one.add ? one.dst[i] + v1 : v1;
    two.dst[i] = two.add ? two.dst[i] + v2 : v2;
  }
  for (auto [line, w] : {std::pair{first.line, one.w}, std::pair{second.line, two.w}}) {
    line->input_.setWriteIndex(w);
    line->output_.setWriteIndex(w);
  }
}

bool cFilterLine::processFour(const Job& first, const Job& second, const Job& third, const Job& fourth, int n) {
  const Job* jobs[4] = {&first, &second, &third, &fourth};
  for (const Job* job : jobs)
    if (job->line->b_.size() > 3 || job->line->input_.length() < 3) return false;
  if (third.dst != first.dst || fourth.dst != second.dst || first.dst == second.dst) return false;
  for (const Job* job : jobs)
    if (job->src == first.dst || job->src == second.dst) return false;
  // Shorter filters run as three-coefficient ones with zeros added: the same sums.
  LineKernel<3> k[4];
  for (int j = 0; j < 4; ++j) {
    const cFilterLine& line = *jobs[j]->line;
    for (int i = 0; i < 3; ++i) {
      k[j].b[i] = i < static_cast<int>(line.b_.size()) ? line.b_[i] : 0.0f;
      k[j].a[i] = i < static_cast<int>(line.a_.size()) ? line.a_[i] : 0.0f;
    }
    k[j].inverseA0 = line.inverseA0_;
    k[j].in = jobs[j]->line->input_.data();
    k[j].out = jobs[j]->line->output_.data();
    k[j].mask = line.input_.mask();
    k[j].w = line.input_.writeIndex();
    k[j].delay = jobs[j]->delay;
    k[j].src = jobs[j]->src;
    k[j].gainD = jobs[j]->gain;
  }
  float* dst1 = first.dst;
  float* dst2 = second.dst;
  for (int i = 0; i < n; ++i) {
    const float v1 = k[0].step(i), v2 = k[1].step(i), v3 = k[2].step(i), v4 = k[3].step(i);
    dst1[i] = v1 + v3;
    dst2[i] = v2 + v4;
  }
  for (int j = 0; j < 4; ++j) {
    jobs[j]->line->input_.setWriteIndex(k[j].w);
    jobs[j]->line->output_.setWriteIndex(k[j].w);
  }
  return true;
}

void cFilterLine::processPair(const Job& first, const Job& second, int n) {
  const int n1 = static_cast<int>(first.line->b_.size()), n2 = static_cast<int>(second.line->b_.size());
  // Lines writing where the other reads would see each other's samples early; run them apart.
  const bool apart = first.dst == second.src || second.dst == first.src || first.dst == second.dst;
  if (!apart && n1 == 5 && n2 == 5) {
    runPair<5, 5>(first, second, n);
    return;
  }
  if (!apart && n1 <= 3 && n2 <= 3) {
    switch (n1 * 4 + n2) {
      case 5: runPair<1, 1>(first, second, n); return;
      case 6: runPair<1, 2>(first, second, n); return;
      case 7: runPair<1, 3>(first, second, n); return;
      case 9: runPair<2, 1>(first, second, n); return;
      case 10: runPair<2, 2>(first, second, n); return;
      case 11: runPair<2, 3>(first, second, n); return;
      case 13: runPair<3, 1>(first, second, n); return;
      case 14: runPair<3, 2>(first, second, n); return;
      case 15: runPair<3, 3>(first, second, n); return;
      default: break;
    }
  }
  first.line->process(first.src, first.dst, n, first.delay, first.gain, first.add);
  second.line->process(second.src, second.dst, n, second.delay, second.gain, second.add);
}

void cFilterLine::process(const float* src, float* dst, int n, int delay, double gain, bool add) {
  switch (b_.size()) {
    case 1: run<1>(src, dst, n, delay, gain, add); return;
    case 2: run<2>(src, dst, n, delay, gain, add); return;
    case 3: run<3>(src, dst, n, delay, gain, add); return;
    case 5: run<5>(src, dst, n, delay, gain, add); return;
    default: break;
  }
  for (int i = 0; i < n; ++i) {
    const float x = src[i];
    const float y = compute(x);
    const float passed = delay > 0 ? output_.ago(delay) : y;
    input_.push(x);
    output_.push(y);
    const float value = static_cast<float>(gain * passed);
    dst[i] = add ? dst[i] + value : value;
  }
}

}  // namespace fx
