// Code-page-932 texts as the operator's terminal shows them: the user lines of orlexmon-run, the
// one-line reasons of orlexmon and orlexmon-run on standard error, and the keywords and weight
// fields of the tester's explanations (--explain, --check). Outputs meant for scripts
// (orlexmon-score --normalize and --keywords) stay raw bytes.
//
//   std::string shown = ToTerminal("\xB1\xB2");  // "ｱｲ" in UTF-8 on a UTF-8 terminal
#pragma once

#include <string>
#include <string_view>

// Converts code-page-932 bytes to the terminal's encoding: on POSIX the locale's codeset (set
// up by the program's setlocale), or UTF-8 when the locale is plain ASCII, which could not show
// Japanese at all; on Windows the console's output code page, or the bytes as they are when the
// output is no console or the console shows code page 932. A byte or character that cannot be
// converted (a lone lead byte, an unassigned code) becomes '?'.
[[nodiscard]] std::string ToTerminal(std::string_view cp932);
