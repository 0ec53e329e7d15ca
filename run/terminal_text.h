// Code-page-932 text as the terminal shows it, for the programs' lines on standard output and
// standard error.
#pragma once

#include <string>
#include <string_view>

// `cp932` in the terminal's encoding: UTF-8 on Linux, the console's code page on Windows. Bytes
// that do not convert are given as they are.
[[nodiscard]] std::string TerminalText(std::string_view cp932);
