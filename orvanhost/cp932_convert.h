// Conversions between the texts the admin tool meets (mail parts in their own charsets, the
// command line and the terminal in the locale's encoding) and the store's code page 932.
//
//   int replaced = 0;
//   std::string bytes = ConvertToCp932("\xE3\x81\x82\xF0\x9F\x98\x80", "UTF-8", &replaced);
//   // bytes == "\x82\xA0\x81\xAC" (あ〓), replaced == 1
#pragma once

#include <string>
#include <string_view>

// The code-page-932 character that stands for one that code page 932 cannot hold: 〓.
inline constexpr std::string_view kGetaMark = "\x81\xAC";

// Converts `text`, encoded in `charset` (a MIME or iconv charset name, case-insensitive; the
// Japanese ones are read as their Microsoft variants, Shift_JIS as CP932), to code page 932.
// Every character that code page 932 cannot hold, and every byte sequence that is not valid in
// `charset`, becomes kGetaMark and adds one to `*replaced`. An unknown charset is read as UTF-8.
[[nodiscard]] std::string ConvertToCp932(std::string_view text, std::string_view charset,
                                         int* replaced);

// Converts code-page-932 bytes to `charset`; what cannot be converted becomes '?'.
[[nodiscard]] std::string ConvertFromCp932(std::string_view bytes, std::string_view charset);

// The encoding of the command line and terminal: the locale's codeset (after setlocale), or
// UTF-8 when the locale is plain ASCII ("C"), which could not show Japanese at all.
[[nodiscard]] std::string TerminalCharset();
