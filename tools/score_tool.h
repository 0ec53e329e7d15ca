// orlexmon-score, the keyword-list tester: lets an operator see what a keyword list does to
// sample texts before a check run touches the host. It uses the same loader, normalization and
// scan as the check run, and its output is line-oriented so that scripts can rely on it:
//
//   orlexmon-score KEYFILE [FILE...]            one line HITS<TAB>POINTS<TAB>NAME per file
//   orlexmon-score --explain KEYFILE [FILE...]  one line per hit, in text order:
//                                               NAME<TAB>OFFSET<TAB>LINE<TAB>WEIGHT<TAB>KEYWORD
//   orlexmon-score --check KEYFILE              one line KEYFILE:LINE: FINDING per finding
//   orlexmon-score --normalize [FILE]           the normalized text, nothing added
//   orlexmon-score --keywords KEYFILE           one line WEIGHT<TAB>KEYWORD-BYTES per slot
//   orlexmon-score --help
//
// A FILE of "-", or no FILE, is standard input. A text is the file's bytes up to the first NUL.
// OFFSET is the hit's byte offset in the normalized text, LINE the keyword's line in KEYFILE.
// --explain and --check show keywords and weights in the terminal's encoding (terminal_text.h);
// --normalize and --keywords write raw code-page-932 bytes.
//
// Exit status: 0 on success; 1 when the keyword list holds no keyword, or when --check found
// something; 2 when the keyword file or a FILE cannot be read, or on a wrong call. Every error is
// one line on the error stream that names the file and the reason; a file that fails prints
// nothing on the output stream, and the files after it are still scored. --check ends with a
// line on the error stream that counts its findings when there are any.
#pragma once

#include <cstdio>

// Runs the tool with the given arguments (argv[0] is the program's name) and streams; returns
// the exit status. Reads only the named files and `in`; writes only `out` and `err`.
[[nodiscard]] int RunScoreTool(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                               std::FILE* err);
