// The pieces of the platform that the keyword load needs: the running executable's full path,
// how that platform writes its paths, and opening a file by a code-page-932 path. One
// implementation per platform (module_path_posix.cpp, module_path_win.cpp).
#pragma once

#include <cstdio>

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
// more). On Linux the path is the target of /proc/self/exe (UTF-8 bytes). On Windows it is the
// module's wide path converted to code page 932, whatever the system's own code page; a path
// holding a character that code page 932 lacks cannot be had. (A file that includes
// <windows.h> sees this name replaced by the macro GetModuleFileNameA: include this header in
// files that do not.)
int GetModuleFileName(char* buffer, int size);

// Opens the file at `path` for reading bytes ("rb"); null when it cannot be opened. On Windows
// `path` is read as code page 932 and opened by its wide name, so Japanese names work whatever
// the system's code page.
std::FILE* OpenFileForReading(const char* path);
