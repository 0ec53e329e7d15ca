// orlexmon-score: the keyword-list tester (see score_tool.h).
#include <cstdio>

#include "tools/score_tool.h"

int main(int argc, char** argv) { return RunScoreTool(argc, argv, stdin, stdout, stderr); }
