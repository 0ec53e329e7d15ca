// orlexmon-score: the keyword-list tester (see score_tool.h).
#include <clocale>
#include <cstdio>

#include "tools/score_tool.h"

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");  // the terminal's encoding, for --explain and --check
  return RunScoreTool(argc, argv, stdin, stdout, stderr);
}
