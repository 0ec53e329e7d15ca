// Loads the host library and binds its ten operations by number.
//
// The library is looked for in the running executable's own directory first, then in the
// system's library path. It must export kHostLookupSymbol (host_library.h), which is asked for
// the numbers 1, 100, 102, 270, 273, 284, 275, 272, 101 and 2, in that order. The optional
// failure operation is looked up by its name, kHostLastFailureSymbol, and never by a number.
#pragma once

#include <memory>
#include <string>

#include "host/host_library.h"

// The host library's file name.
inline constexpr const char kHostLibraryFileName[] = "liborvanLib.so";

// The exit status of a program that cannot bind the host library.
inline constexpr int kHostBindFailureStatus = 3;

// On success returns the bound library (which stays loaded for the returned object's life) and
// leaves `*error` untouched. On failure returns null and stores a one-line reason in `*error`,
// naming the library or the missing operation number.
[[nodiscard]] std::unique_ptr<HostLibrary> BindHostLibrary(std::string* error);

// The same, for a library at a given path (tests, tools).
[[nodiscard]] std::unique_ptr<HostLibrary> BindHostLibraryAt(const char* path, std::string* error);
