// The choice of vector instructions for the scoring core.
#include "scoring/vectors.h"

#include <algorithm>

namespace {

Vectors WidestVectors() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return Vectors::k32;
  if (__builtin_cpu_supports("ssse3")) return Vectors::k16;
  return Vectors::kNone;
}

// Chosen on first use, so that scoring during static initialization finds it set.
Vectors& Current() {
  static Vectors vectors = WidestVectors();
  return vectors;
}

}  // namespace

void UseVectors(Vectors vectors) { Current() = std::max(vectors, WidestVectors()); }

Vectors ActiveVectors() { return Current(); }
