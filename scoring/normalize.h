// Text normalization: folds a code-page-932 text into the one form in which keywords and message
// texts are compared.
//
// Hiragana, katakana, the small hiragana and the common full-width letters, digits and symbols
// become single bytes (half-width katakana or ASCII), and one-byte ASCII a-z become A-Z. Every
// other character is copied unchanged. Keywords pass through it when the keyword list is loaded,
// and every message body and title before it is scanned, so it is on the hot path of the run.
//
//   char text[] = "\x82\xA0\x82\xA2";   // あい
//   NormalizeText(text, text);          // text now holds "\xB1\xB2" (ｱｲ)
#pragma once

#include <cstddef>

// The lead-byte test of code page 932: true for the bytes that begin a two-byte character
// (0x81-0x9F and 0xE0-0xFC), whatever the machine's locale.
constexpr bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The 239 conversions, paired by position: entry k turns the two bytes
// kDoubleBytes[2k], kDoubleBytes[2k+1] into the single byte kSingleBytes[k].
struct ConversionTable {
  static constexpr int kEntries = 239;
  static const char kDoubleBytes[2 * kEntries + 1];  // 478 bytes and a NUL
  static const char kSingleBytes[kEntries + 1];      // 239 bytes and a NUL
};

// Writes the normalized form of `source` to `destination` and returns `destination`.
// REQUIRES: `source` is NUL-terminated; `destination` has room for strlen(source) + 1 bytes and
// is either `source` itself, a separate buffer, or lies before `source` in the same buffer.
// The result is NUL-terminated and never longer than the source. A lead byte directly before the
// NUL is copied unchanged; nothing past the NUL is read. One pass, no allocation.
char* NormalizeText(const char* source, char* destination);
