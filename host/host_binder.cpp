// The binder: loads the host library with the platform's dynamic loader and binds its ten
// operations through the library's one exported lookup function, and the optional failure
// operation by its name.
//
// It runs once, at start-up, before anything else touches the host. It either binds all ten
// operations or none: a library that lacks one is unloaded again and nothing of it is called.
// The search order copies the Windows loader's for a library named without a path: the
// executable's own directory first, then the system's library path.
#include "host/host_binder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "host/bound_host.h"

namespace {

// The loader's last error as one line (a message never spans lines).
std::string LoaderError() {
  const char* text = dlerror();
  std::string line = text != nullptr ? text : "unknown loader error";
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

void Unload(void* handle) { dlclose(handle); }

// Binds the ten operations of an already loaded library, or unloads it and says what is missing.
std::unique_ptr<HostLibrary> BindLoaded(void* handle, const std::string& shown_name,
                                        std::string* error) {
  dlerror();  // clear a stale error before the lookup
  auto lookup = reinterpret_cast<HostLookupProc>(dlsym(handle, kHostLookupSymbol));
  if (lookup == nullptr) {
    *error = "the host library " + shown_name + " does not export " + kHostLookupSymbol;
    dlclose(handle);
    return nullptr;
  }
  BoundProcs procs{};
  for (size_t i = 0; i < kBindOrder.size(); ++i) {
    procs[i] = reinterpret_cast<ExportedProc>(lookup(kBindOrder[i].ordinal));
    if (procs[i] == nullptr) {
      *error = "the host library " + shown_name + " lacks operation " +
               std::to_string(kBindOrder[i].ordinal) + " (" + kBindOrder[i].name + ")";
      dlclose(handle);
      return nullptr;
    }
  }
  // The optional failure operation, by its name only.
  auto lastFailure = reinterpret_cast<HostLastFailureProc>(dlsym(handle, kHostLastFailureSymbol));
  return std::make_unique<BoundHost>(handle, Unload, procs, lastFailure);
}

// The directory of the running executable, with its trailing '/', or "" when it cannot be had.
std::string ExecutableDirectory() {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return "";
  std::string full(path, static_cast<size_t>(length));
  size_t slash = full.rfind('/');
  return slash == std::string::npos ? "" : full.substr(0, slash + 1);
}

}  // namespace

std::unique_ptr<HostLibrary> BindHostLibraryAt(const char* path, std::string* error) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *error = "cannot load the host library " + std::string(path) + ": " + LoaderError();
    return nullptr;
  }
  return BindLoaded(handle, path, error);
}

std::unique_ptr<HostLibrary> BindHostLibrary(std::string* error) {
  std::string directory = ExecutableDirectory();
  if (!directory.empty()) {
    std::string beside = directory + kHostLibraryFileName;
    // A library beside the executable wins even when it cannot be loaded: loading another one
    // from the system path instead would hide the fault.
    if (access(beside.c_str(), F_OK) == 0) return BindHostLibraryAt(beside.c_str(), error);
  }
  void* handle = dlopen(kHostLibraryFileName, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *error = std::string("cannot find the host library ") + kHostLibraryFileName +
             (directory.empty() ? std::string() : " in " + directory) +
             " or the system library path: " + LoaderError();
    return nullptr;
  }
  return BindLoaded(handle, kHostLibraryFileName, error);
}
