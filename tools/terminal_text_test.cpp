#include "tools/terminal_text.h"

#include <gtest/gtest.h>

namespace {

// The tests run in the "C" locale, whose plain ASCII the conversion replaces by UTF-8.
TEST(TerminalTextTest, CodePage932BecomesUtf8) {
  struct Case {
    const char* cp932;
    const char* shown;
  };
  const Case cases[] = {
      {"", ""},
      {"ABC 5", "ABC 5"},
      {"\xB1\xB2", "\xEF\xBD\xB1\xEF\xBD\xB2"},          // ｱｲ
      {"\x8C\x5F\x96\xF1", "\xE5\xA5\x91\xE7\xB4\x84"},  // 契約
      {"\x82\xA0\x5C", "\xE3\x81\x82\x5C"},              // あ and the byte 0x5C
      {"AB\x82", "AB?"},                                 // a lone lead byte
      {"\x85\x40Z", "?Z"},                               // an unassigned code
      {"\x82\x82\x82", "\xEF\xBD\x82?"},                 // ｂ, then a lone lead
  };
  for (const Case& c : cases) EXPECT_EQ(ToTerminal(c.cp932), c.shown) << c.cp932;
}

}  // namespace
