#include "orvanhost/cp932_convert.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ConversionCase {
  const char* name;      // what the case shows
  std::string text;      // the input
  const char* charset;   // its charset
  std::string expected;  // code page 932 bytes
  int replaced;          // characters stored as 〓
};

TEST(ConvertToCp932Test, ConvertsAndCountsWhatCodePage932CannotHold) {
  const ConversionCase cases[] = {
      {"ASCII stays", "Sale 50%", "UTF-8", "Sale 50%", 0},
      {"hiragana", "\xE3\x81\x82", "UTF-8", "\x82\xA0", 0},
      {"half-width katakana", "\xEF\xBD\xB1", "utf-8", "\xB1", 0},
      {"NEC special character", "\xE2\x91\xA0", "UTF-8", "\x87\x40", 0},  // ①
      {"JIS wave dash becomes the code page's tilde", "\xE3\x80\x9C", "UTF-8", "\x81\x60", 0},
      {"emoji",
       "a\xF0\x9F\x98\x80"
       "b",
       "UTF-8",
       "a\x81\xAC"
       "b",
       1},
      {"Latin letters with accents", "\xC3\xA9t\xC3\xA9", "UTF-8", "\x81\xACt\x81\xAC", 2},
      {"invalid UTF-8 byte",
       "a\xFF"
       "b",
       "UTF-8",
       "a\x81\xAC"
       "b",
       1},
      {"Shift_JIS passes through", "\x83\x5A\x81\x5B\x83\x8B", "Shift_JIS",
       "\x83\x5A\x81\x5B\x83\x8B", 0},
      {"Shift_JIS with a byte that starts no character",
       "\x82\xA0\xFD"
       "a",
       "shift_jis",
       "\x82\xA0\x81\xAC"
       "a",
       1},
      {"ISO-2022-JP", "\x1B$B$\"\x1B(B", "ISO-2022-JP", "\x82\xA0", 0},
      {"EUC-JP", "\xA4\xA2", "EUC-JP", "\x82\xA0", 0},
      {"unknown charset is read as UTF-8", "\xE3\x81\x82", "x-unknown", "\x82\xA0", 0},
      {"cut-off sequence at the end", "a\xE3\x81", "UTF-8", "a\x81\xAC", 1},
  };
  for (const ConversionCase& c : cases) {
    int replaced = 0;
    EXPECT_EQ(ConvertToCp932(c.text, c.charset, &replaced), c.expected) << c.name;
    EXPECT_EQ(replaced, c.replaced) << c.name;
  }
}

// One converter for many texts, as an import uses it: each text starts in the initial shift
// state, whatever the one before left behind.
TEST(Cp932ConverterTest, EachTextStartsAfresh) {
  Cp932Converter converter;
  int replaced = 0;
  // Cut off inside the two-byte set: あ, then half a character.
  EXPECT_EQ(converter.ToCp932("\x1B$B$\"$", "ISO-2022-JP", &replaced), "\x82\xA0\x81\xAC");
  EXPECT_EQ(replaced, 1);
  EXPECT_EQ(converter.ToCp932("$\"", "ISO-2022-JP", &replaced), "$\"");  // ASCII again
  EXPECT_EQ(converter.ToCp932("\xE3\x81\x82", "UTF-8", &replaced), "\x82\xA0");
  EXPECT_EQ(converter.FromCp932("\x82\xA0", "UTF-8"), "\xE3\x81\x82");
  EXPECT_EQ(replaced, 1);
}

TEST(ConvertFromCp932Test, ConvertsToUtf8) {
  EXPECT_EQ(ConvertFromCp932("\x8E\x52\x93\x63 \xB1", "UTF-8"),
            "\xE5\xB1\xB1\xE7\x94\xB0 \xEF\xBD\xB1");
  EXPECT_EQ(ConvertFromCp932("a\x82", "UTF-8"), "a?");  // a lead byte without its second byte
}

}  // namespace
