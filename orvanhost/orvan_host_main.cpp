// orvan-host: the bundled host's admin tool (admin.h).
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "orvanhost/admin.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  return RunOrvanHost(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
