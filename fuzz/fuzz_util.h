// Helpers shared by the fuzz targets.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A file that holds the given bytes, rewritten for each input; one per process.
inline const char* WriteScratchFile(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/orlexmon-fuzz-" + std::to_string(getpid()) + ".key";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path.c_str();
}

#define FUZZ_CHECK(condition)                                            \
  do {                                                                   \
    if (!(condition)) {                                                  \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition,     \
                   __FILE__, __LINE__);                                  \
      std::abort();                                                      \
    }                                                                    \
  } while (0)
