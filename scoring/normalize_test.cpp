#include "scoring/normalize.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "testing/test_util.h"

namespace {

// Converts UTF-8 to code page 932 with the Windows mapping, independently of our table.
std::string Cp932(const std::string& utf8) { return test_util::Sjis(utf8); }

std::string Normalize(const std::string& text) {
  std::vector<char> buffer(text.size() + 1);
  std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
  std::vector<char> out(text.size() + 1, '\x7F');
  EXPECT_EQ(NormalizeText(buffer.data(), out.data()), out.data());
  return std::string(out.data());
}

// Splits a code-page-932 text into its characters.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> chars;
  for (size_t i = 0; i < text.size();) {
    const size_t n = IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    chars.push_back(text.substr(i, n));
    i += n;
  }
  return chars;
}

// The conversion table, written out as characters: every group pairs each character of the
// first column with the character at the same place in the second.
struct Group {
  const char* from;  // UTF-8
  const char* to;    // UTF-8
};
const Group kGroups[] = {
    {"あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよわをん",
     "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾜｦﾝ"},
    {"がぎぐげござじずぜぞだぢづでどばびぶべぼぱぴぷぺぽ", "ｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾊﾋﾌﾍﾎﾊﾋﾌﾍﾎ"},
    {"アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨワヲン",
     "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾜｦﾝ"},
    {"ガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポ", "ｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾊﾋﾌﾍﾎﾊﾋﾌﾍﾎ"},
    {"ぁぃぅぇぉっゃゅょ", "ｧｨｩｪｫｯｬｭｮ"},
    {"ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶＷＸＹＺ", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
    {"ａｂｃｄｅｆｇｈｉｊｋｌｍｎｏｐｑｒｓｔｕｖｗｘｙｚ", "abcdefghijklmnopqrstuvwxyz"},
    {"０１２３４５６７８９", "0123456789"},
    {"！”＃＄％＆’（）＝～｜－＾￥＠［；：］，．／‘｛＋＊｝＜＞？＿", "!\"#$%&'()=~|-^\\@[;:],./`{+*}<>?_"},
    {"、。・ー", "､｡･ｰ"},
};

TEST(ConversionTableTest, EveryEntryInOrderAndNoDuplicates) {
  std::string doubles;
  std::string singles;
  for (const Group& group : kGroups) {
    doubles += Cp932(group.from);
    singles += Cp932(group.to);
  }
  // The full-width symbols use the Windows mapping (～ is U+FF5E, － U+FF0D, ￥ U+FFE5), which
  // iconv's CP932 follows. The yen sign's partner is the byte 0x5C.
  ASSERT_EQ(doubles.size(), 478u);
  ASSERT_EQ(singles.size(), 239u);
  EXPECT_EQ(std::string(ConversionTable::kDoubleBytes), doubles);
  EXPECT_EQ(std::string(ConversionTable::kSingleBytes), singles);
  const std::vector<std::string> chars = Characters(doubles);
  for (size_t i = 0; i < chars.size(); ++i) {
    for (size_t j = i + 1; j < chars.size(); ++j) EXPECT_NE(chars[i], chars[j]) << i << " " << j;
  }
}

TEST(NormalizeTextTest, EveryEntryConvertsToItsPartnerAlone) {
  for (int k = 0; k < ConversionTable::kEntries; ++k) {
    const std::string ch(ConversionTable::kDoubleBytes + 2 * k, 2);
    const std::string expected(1, ConversionTable::kSingleBytes[k]);
    EXPECT_EQ(Normalize(ch), expected) << "entry " << k;
    // Between other characters, so that only whole characters at character positions match.
    EXPECT_EQ(Normalize("x" + ch + "\x88\x9F"), "X" + expected + "\x88\x9F") << "entry " << k;
  }
}

TEST(NormalizeTextTest, Cases) {
  struct Case {
    std::string source;    // UTF-8 unless raw
    std::string expected;  // UTF-8 unless raw
    bool raw;              // the strings are code-page-932 bytes already
  };
  const Case cases[] = {
      {"", "", false},
      {"abcXYZ123", "ABCXYZ123", false},
      {"ＡＢＣ", "ABC", false},
      {"ａｂｃ", "abc", false},  // full-width small letters stay small
      {"あい", "ｱｲ", false},
      {"アイ", "ｱｲ", false},
      {"ｱｲ", "ｱｲ", false},
      {"が", "ｶ", false},
      {"ガ", "ｶ", false},
      {"ぱ", "ﾊ", false},
      {"ｶﾞ", "ｶﾞ", false},  // half-width keeps its sound mark
      {"っ", "ｯ", false},
      {"ッ", "ッ", false},  // small katakana are not in the table
      {"漢字　＼“「」゛゜ヴゐゑヰヱヵヶゎヮ", "漢字　＼“「」゛゜ヴゐゑヰヱヵヶゎヮ", false},
      {"￥", "\\", false},
      {"ｃ＜", "c<", false},
      {"\xA1\xB1\xDF\xA0\x80\xFD\xFE\xFF", "\xA1\xB1\xDF\xA0\x80\xFD\xFE\xFF", true},
      // A second byte that is a-z belongs to its character and is not upper-cased.
      {"\x89\x61\x89\x7A", "\x89\x61\x89\x7A", true},
      // A lone lead byte before the NUL is kept; nothing past the NUL is read.
      {"ab\x82", "AB\x82", true},
      {"\x82", "\x82", true},
      // 0x82 0xA0 is あ only at a character position: here 0xA0 is a one-byte character.
      {"\xA0\x82\xA0", "\xA0\xB1", true},
  };
  for (const Case& c : cases) {
    const std::string source = c.raw ? c.source : Cp932(c.source);
    const std::string expected = c.raw ? c.expected : Cp932(c.expected);
    EXPECT_EQ(Normalize(source), expected) << c.source;
  }
}

TEST(NormalizeTextTest, InPlaceAndTowardsTheStartGiveTheSameResult) {
  const std::string text = Cp932("ｶﾞあいうｴｵ漢字ＡＢＣａｂｃ！？、。ー mixed Text ガギグ") + "\x82";
  const std::string expected = Normalize(text);
  EXPECT_EQ(expected.size(), text.size() - 17);  // 17 table conversions, one byte shorter each

  std::string in_place = text;
  EXPECT_EQ(NormalizeText(in_place.data(), in_place.data()), in_place.data());
  EXPECT_EQ(std::string(in_place.c_str()), expected);

  for (size_t offset : {1u, 2u, 7u}) {
    std::string buffer(offset, '#');
    buffer += text;
    NormalizeText(buffer.data() + offset, buffer.data());
    EXPECT_EQ(std::string(buffer.c_str()), expected) << offset;
  }
}

}  // namespace
