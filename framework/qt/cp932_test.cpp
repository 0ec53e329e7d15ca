// Conversion at the screen's edge: the Windows mapping of code page 932, and what happens to
// bytes and characters that do not convert.
#include "framework/qt/cp932.h"

#include <gtest/gtest.h>

TEST(Cp932, ConvertsBothWaysWithTheWindowsMapping) {
  struct Case {
    const char* bytes;  // code-page-932 bytes
    const char* utf8;   // the same text in UTF-8
  };
  const Case cases[] = {
      {"", ""},
      {"abc 123", "abc 123"},
      {"\x83\x86\x81\x5B\x83\x55\x81\x5B", "ユーザー"},
      {"\xCC\xA7\xB2\xD9(&F)", "ﾌｧｲﾙ(&F)"},  // half-width katakana
      {"\x81\x60", "\xEF\xBD\x9E"},          // WAVE DASH row maps to U+FF5E
      {"\x87\x40", "①"},                     // NEC special row
      {"C:\\dir", "C:\\dir"},                // 0x5C stays a backslash
      {"\x95\x5C\x8E\xA6", "表示"},          // second byte 0x5C
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FromCp932(c.bytes), QString::fromUtf8(c.utf8)) << c.utf8;
    EXPECT_EQ(ToCp932(QString::fromUtf8(c.utf8)), c.bytes) << c.utf8;
  }
}

TEST(Cp932, BadBytesShowAsReplacementAndMissingCharactersReadBackAsQuestionMarks) {
  EXPECT_EQ(FromCp932("a\x81"), QString::fromUtf8("a\xEF\xBF\xBD"));  // lone lead byte
  EXPECT_EQ(FromCp932("\xA0z"), QString::fromUtf8("\xEF\xBF\xBDz"));  // unassigned byte
  EXPECT_EQ(ToCp932(QString::fromUtf8("x€y")), "x?y");
  EXPECT_EQ(ToCp932(QString::fromUtf8("😀")), "?");
}
