// The records' text fields: TerminateField keeps a terminated field as it is and cuts one
// without NUL at its last byte, never touching a byte outside the field.
#include "host/host_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(HostRecords, TerminateField) {
  struct Case {
    std::string field;     // the field's bytes, as many as the field is long
    std::string expected;  // the text it holds afterwards
  };
  const Case cases[] = {
      {std::string("abc\0xyz", 7), "abc"},
      {std::string("\0bcdefg", 7), ""},
      {std::string("abcdef\0", 7), "abcdef"},
      {"abcdefg", "abcdef"},
      {"\x8C\x66\x8E\xA6\x94\xC2\x8C", "\x8C\x66\x8E\xA6\x94\xC2"},  // cut inside a character
  };
  for (const Case& c : cases) {
    char buffer[9];
    buffer[0] = '<';
    buffer[8] = '>';
    std::memcpy(buffer + 1, c.field.data(), 7);
    TerminateField(buffer + 1, 7);
    EXPECT_EQ(std::string(buffer + 1), c.expected);
    EXPECT_EQ(buffer[0], '<');
    EXPECT_EQ(buffer[8], '>');
  }
}

TEST(HostRecords, FieldsLieWhereTheHostPutsThem) {
  static UserRecord user;
  static MessageRecord message;
  EXPECT_EQ(user.Kind() - user.bytes, 69162);
  EXPECT_EQ(message.Title() - message.bytes, 204);
  EXPECT_EQ(message.Destination() - message.bytes, 936);
  EXPECT_EQ(message.Body() - message.bytes, 110768);
  message.SetScoreState(-1);
  message.SetStoredPoints(-7);
  int32_t raw[2];
  std::memcpy(raw, message.bytes + 77992, sizeof raw);
  EXPECT_EQ(raw[0], -1);
  EXPECT_EQ(raw[1], -7);
  EXPECT_EQ(message.ScoreState(), -1);
  EXPECT_EQ(message.StoredPoints(), -7);
}

}  // namespace
