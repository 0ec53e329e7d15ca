// The platform pieces of the keyword load on Linux: the executable's path is the target of
// /proc/self/exe, and paths are opened as they are.
#include "scoring/module_path.h"

#include <limits.h>
#include <unistd.h>

int GetModuleFileName(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  char path[PATH_MAX + 1];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || length >= size || length > PATH_MAX) return 0;
  for (ssize_t i = 0; i < length; ++i) buffer[i] = path[i];
  buffer[length] = '\0';
  return static_cast<int>(length);
}

std::FILE* OpenFileForReading(const char* path) { return std::fopen(path, "rb"); }
