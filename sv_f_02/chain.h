#pragma once
// The effect chain behind the exported functions: one process-wide chain of eight switchable stages and
// the soft clipper, its parameter table and its life cycle.

#include <cstdint>

namespace fx {

int initChain(int samplesPerChannel);
int setParameter(int id, double value);
int convert(float* left, float* right, int byteCount);
int resetChain();
int closeChain();

// Where "constants.dat" is looked for when no file was open at load time (the current folder).
void openConstantsFile();

}  // namespace fx
