// The running executable's full path, the one piece of the platform that the keyword load needs,
// and how that platform writes its paths.
#pragma once

// How the platform writes a path, which decides where the executable's directory ends.
enum class PathConvention {
  kCodePage932,  // code-page-932 bytes: an optional drive "X:", '\' and '/' both separate, and
                 // the second byte of a two-byte character (it can be 0x5C) never does
  kUtf8,         // UTF-8 bytes: only '/' separates, and no byte of a character is ever a '/'
};

// The convention of the paths that GetModuleFileName gives on this platform.
#ifdef _WIN32
inline constexpr PathConvention kModulePathConvention = PathConvention::kCodePage932;
#else
inline constexpr PathConvention kModulePathConvention = PathConvention::kUtf8;
#endif

// Writes the executable's full path, NUL-terminated, into `buffer` of `size` bytes and returns
// its length. Returns 0 when the path cannot be had or does not fit (a path of `size` bytes or
// more). On Linux the path is the target of /proc/self/exe.
int GetModuleFileName(char* buffer, int size);
