// orlexmon: binds the host library, then hands over to the framework, which runs the application
// object's start-up. Command-line arguments are not looked at.
#include <cstdio>
#include <memory>
#include <string>

#include "app/keyword_check_app.h"
#include "host/host_binder.h"

CKeywordCheckApp theApp;  // the one application object

int main() {
  std::string error;
  std::unique_ptr<HostLibrary> host = BindHostLibrary(&error);
  if (host == nullptr) {
    std::fprintf(stderr, "orlexmon: %s\n", error.c_str());
    return kHostBindFailureStatus;
  }
  SetHostLibrary(host.get());
  return AfxWinMain();
}
