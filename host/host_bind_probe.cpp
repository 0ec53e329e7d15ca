// Binds the host library the way start-up does and calls HostAttach once: prints the result on
// standard output and exits 0, or prints the binder's one-line reason on standard error and
// exits with kHostBindFailureStatus. Used by the binder's tests only.
#include <cstdio>
#include <string>

#include "host/host_binder.h"

int main() {
  std::string error;
  std::unique_ptr<HostLibrary> host = BindHostLibrary(&error);
  if (host == nullptr) {
    std::fprintf(stderr, "host_bind_probe: %s\n", error.c_str());
    return kHostBindFailureStatus;
  }
  std::printf("%d\n", static_cast<int>(host->HostAttach(0, "orLexmon")));
  return 0;
}
