// Writes the reverb tables shipped as data/constants.dat:
//   make_constants > data/constants.dat
// Candidate line delays are the primes from 53 to 16381 samples (1.2 ms ... 371 ms), so lines snapped to
// distinct candidates stay mutually prime and every room length of the presets has a close neighbour.
// The mixing matrices (2, 4, 6, 8 lines) are orthogonal, so the network loses energy only through the
// decay gains. Rooms are given by their wall planes in room units (a preset's scale gives metres).
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct Wall {
  double nx, ny, nz, d, r;
};

void printCandidates() {
  std::vector<int> primes;
  for (int v = 53; v <= 16381; ++v) {
    bool prime = true;
    for (int k = 2; k * k <= v && prime; ++k) prime = v % k != 0;
    if (prime) primes.push_back(v);
  }
  std::printf("%zu\n", primes.size());
  for (size_t i = 0; i < primes.size(); ++i) std::printf("%d%c", primes[i], i % 12 == 11 ? '\n' : ' ');
  std::printf("\n");
}

void printMatrix(const std::vector<double>& m, int size) {
  std::printf("%d\n", size);
  for (int r = 0; r < size; ++r) {
    for (int c = 0; c < size; ++c) std::printf("%s%.9g", c ? " " : "", m[r * size + c]);
    std::printf("\n");
  }
}

// Sylvester's construction, scaled to unit rows.
std::vector<double> hadamard(int size) {
  std::vector<double> m(size * size);
  for (int r = 0; r < size; ++r)
    for (int c = 0; c < size; ++c) m[r * size + c] = (__builtin_popcount(r & c) % 2 ? -1.0 : 1.0) / std::sqrt(size);
  return m;
}

// I - (2/n) 1 1^T: orthogonal for every size.
std::vector<double> householder(int size) {
  std::vector<double> m(size * size);
  for (int r = 0; r < size; ++r)
    for (int c = 0; c < size; ++c) m[r * size + c] = (r == c ? 1.0 : 0.0) - 2.0 / size;
  return m;
}

void printMatrices() {
  std::printf("4\n");
  printMatrix(hadamard(2), 2);
  printMatrix(hadamard(4), 4);
  printMatrix(householder(6), 6);
  printMatrix(hadamard(8), 8);
}

std::vector<Wall> box(double x0, double x1, double y0, double y1, double z0, double z1, double side,
                      double floor, double ceiling) {
  return {{1, 0, 0, x1, side},  {-1, 0, 0, -x0, side}, {0, 1, 0, y1, side},
          {0, -1, 0, -y0, side}, {0, 0, -1, -z0, floor}, {0, 0, 1, z1, ceiling}};
}

void printRoom(const char* name, const std::vector<Wall>& walls) {
  std::printf("%s %zu\n", name, walls.size());
  for (const Wall& w : walls) std::printf("%.6f %.6f %.6f %.6f %.3f\n", w.nx, w.ny, w.nz, w.d, w.r);
}

void printRooms() {
  // 0: a studio with treated side walls, 8 x 10 x 4.8 m at scale 4.
  printRoom("studio", box(-1.0, 1.0, -1.0, 1.5, -0.5, 0.7, 0.85, 0.7, 0.75));
  // 1: a living room, 10 x 12 x 2.8 m at scale 10.
  printRoom("livingroom", box(-0.3, 0.7, -0.4, 0.8, 0.0, 0.28, 0.8, 0.6, 0.85));
  // 2: a chapel under a pitched roof (roof planes at 37 degrees meeting over the middle).
  std::vector<Wall> chapel = {{1, 0, 0, 0.5, 0.93},  {-1, 0, 0, 0.5, 0.93}, {0, 1, 0, 1.5, 0.9},
                              {0, -1, 0, 1.5, 0.9}, {0, 0, -1, 0.0, 0.95}, {0.6, 0, 0.8, 0.72, 0.88},
                              {-0.6, 0, 0.8, 0.72, 0.88}};
  printRoom("chapel", chapel);
  // 3: a long corridor with hard walls.
  printRoom("corridor", box(-0.15, 0.15, -3.0, 3.0, 0.0, 0.25, 0.95, 0.9, 0.9));
  // 4: an octagonal hall: eight side walls, floor and ceiling.
  std::vector<Wall> octagon;
  for (int k = 0; k < 8; ++k) {
    double a = k * M_PI / 4;
    octagon.push_back({std::cos(a), std::sin(a), 0, 1.0, 0.9});
  }
  octagon.push_back({0, 0, -1, 0.3, 0.8});
  octagon.push_back({0, 0, 1, 0.9, 0.85});
  printRoom("octagon", octagon);
  // 5: a concert hall, 20 x 29 x 13.6 m at scale 17.
  printRoom("hall", box(-0.6, 0.6, -0.5, 1.2, -0.3, 0.5, 0.9, 0.75, 0.88));
}

}  // namespace

int main() {
  printCandidates();
  printMatrices();
  printRooms();
  return 0;
}
