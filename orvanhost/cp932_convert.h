// Conversions between the texts the admin tool meets (mail parts in their own charsets, the
// command line and the terminal in the locale's encoding) and the store's code page 932.
//
//   int replaced = 0;
//   std::string bytes = ConvertToCp932("\xE3\x81\x82\xF0\x9F\x98\x80", "UTF-8", &replaced);
//   // bytes == "\x82\xA0\x81\xAC" (あ〓), replaced == 1
#pragma once

#include <iconv.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>

// The code-page-932 character that stands for one that code page 932 cannot hold: 〓.
inline constexpr std::string_view kGetaMark = "\x81\xAC";

// Converts texts between their charsets and code page 932. It opens each iconv converter it
// needs once, on first use, and keeps it for its own life: an import of thousands of messages
// opens a handful, not two per text.
//
//   Cp932Converter converter;
//   std::string title = converter.ToCp932(subject, "UTF-8", &replaced);
//
// Not copyable: it owns its converters. One thread at a time.
class Cp932Converter {
 public:
  Cp932Converter() = default;
  ~Cp932Converter();
  Cp932Converter(const Cp932Converter&) = delete;
  Cp932Converter& operator=(const Cp932Converter&) = delete;

  // Converts `text`, encoded in `charset` (a MIME or iconv charset name, case-insensitive; the
  // Japanese ones are read as their Microsoft variants, Shift_JIS as CP932), to code page 932.
  // Every character that code page 932 cannot hold, and every byte sequence that is not valid
  // in `charset`, becomes kGetaMark and adds one to `*replaced`. An unknown charset is read as
  // UTF-8.
  [[nodiscard]] std::string ToCp932(std::string_view text, std::string_view charset, int* replaced);
  // Converts code-page-932 bytes to `charset`; what cannot be converted becomes '?'. Unknown
  // charsets get the bytes as they are.
  [[nodiscard]] std::string FromCp932(std::string_view bytes, std::string_view charset);

 private:
  // The converter from `from` to `to`, reset to its initial state; (iconv_t)-1 when iconv has
  // none.
  iconv_t Converter(const std::string& to, const std::string& from);

  std::map<std::pair<std::string, std::string>, iconv_t> converters_;  // (to, from): converter
};

// ConvertToCp932 and ConvertFromCp932 are Cp932Converter's conversions with a converter of
// their own, for a single text.
[[nodiscard]] std::string ConvertToCp932(std::string_view text, std::string_view charset,
                                         int* replaced);
[[nodiscard]] std::string ConvertFromCp932(std::string_view bytes, std::string_view charset);

// The encoding of the command line and terminal: the locale's codeset (after setlocale), or
// UTF-8 when the locale is plain ASCII ("C"), which could not show Japanese at all.
[[nodiscard]] std::string TerminalCharset();
