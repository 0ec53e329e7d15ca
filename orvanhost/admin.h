// `orvan-host`, the bundled host's admin tool: creates stores, adds users, imports mail, reports
// and resets scores, and builds the demo store with its keyword list.
//
// Names and output are in the terminal's encoding (TerminalCharset()); the store holds code
// page 932. Every command runs in one transaction: an error leaves the store as it was.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// The usage text that --help prints.
extern const char kOrvanHostUsage[];

// Runs the tool with `args` (the command line without the program's name). Normal output goes
// to `out`; each error is one line "orvan-host: <file or user>: <reason>" on `err`. Returns the
// exit status: 0 on success, 1 on an error of the command, 2 on a bad command line.
[[nodiscard]] int RunOrvanHost(const std::vector<std::string>& args, std::ostream& out,
                               std::ostream& err);
