#include "orvanhost/text_field.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct CutCase {
  const char* name;      // what the case shows
  std::string text;      // the source text
  size_t field_size;     // the field's size
  std::string expected;  // what the field holds up to its NUL
};

TEST(CopyTextFieldTest, CutsOnlyAtCharacterBoundaries) {
  const std::string a = "\x82\xA0";  // あ
  const CutCase cases[] = {
      {"fits exactly", "abc", 4, "abc"},
      {"one byte too long", "abcd", 4, "abc"},
      {"two-byte character fits", a + a, 5, a + a},
      {"second byte would be past the field", "x" + a + a, 5, "x" + a},
      {"half-width katakana are one byte", "\xB1\xB2\xB3\xB4", 3, "\xB1\xB2"},
      {"second byte that looks like a lead byte", "\x81\x81\x81\x81x", 4, "\x81\x81"},
      {"lead byte as the last byte of the text is kept when it fits", "ab\x82", 4, "ab\x82"},
      {"NUL inside the source ends the text", std::string("ab\0cd", 5), 8, "ab"},
      {"empty text", "", 1, ""},
      {"field of one byte holds only the NUL", a, 1, ""},
      {"field of two bytes cannot hold a two-byte character", a, 2, ""},
  };
  for (const CutCase& c : cases) {
    std::string field(c.field_size + 4, '#');  // the bytes after the field must stay
    const size_t copied = CopyTextField(field.data(), c.field_size, c.text.data(), c.text.size());
    EXPECT_EQ(copied, c.expected.size()) << c.name;
    EXPECT_EQ(std::string(field.c_str()), c.expected) << c.name;
    EXPECT_EQ(field.substr(c.field_size), "####") << c.name;
  }
}

TEST(CopyTextFieldTest, MaxTextLimitsBelowTheFieldSize) {
  const std::string text = "x" + std::string(20, '\x82');  // x, then ten two-byte characters
  char field[64];
  std::memset(field, '#', sizeof field);
  EXPECT_EQ(CopyTextField(field, sizeof field, text.data(), text.size(), 8), 7u);
  EXPECT_EQ(field[7], '\0');
  EXPECT_EQ(field[8], '#');  // nothing is written past the NUL
}

}  // namespace
