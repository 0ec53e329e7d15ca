// Loads the host library and binds its ten operations by number, in the order 1, 100, 102, 270,
// 273, 284, 275, 272, 101 and 2.
//
// Linux (host_binder.cpp): liborvanLib.so is looked for in the running executable's own
// directory first, then in the system's library path. It must export kHostLookupSymbol
// (host_library.h), which is asked for each number.
//
// Windows (host_binder_win.cpp): orvanLib.dll is loaded by its full path in the running
// executable's own directory and nowhere else: never from the current directory or the search
// path, where anyone could plant a library of the same name. Each operation is taken with
// GetProcAddress by its ordinal.
//
// On both, the optional failure operation is looked up by its name, kHostLastFailureSymbol
// (dlsym, GetProcAddress by name), and never by a number.
#pragma once

#include <memory>
#include <string>

#include "host/host_library.h"

// The host library's file name.
#ifdef _WIN32
inline constexpr const char kHostLibraryFileName[] = "orvanLib.dll";
#else
inline constexpr const char kHostLibraryFileName[] = "liborvanLib.so";
#endif

// The exit status of a program that cannot bind the host library.
inline constexpr int kHostBindFailureStatus = 3;

// On success returns the bound library (which stays loaded for the returned object's life) and
// leaves `*error` untouched. On failure returns null and stores a one-line reason in `*error`,
// naming the library or the missing operation number.
[[nodiscard]] std::unique_ptr<HostLibrary> BindHostLibrary(std::string* error);

// The same, for a library at a given path (tests, tools); on Windows the path is UTF-8.
[[nodiscard]] std::unique_ptr<HostLibrary> BindHostLibraryAt(const char* path, std::string* error);
