#include "scoring/keyword_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "scoring/vectors.h"
#include "testing/test_util.h"

namespace {

// A keyword file in a temporary directory, removed at the end of the test.
class KeywordFile {
 public:
  explicit KeywordFile(const std::string& bytes) : directory_("keys") {
    path_ = (directory_.path() / "orvan.key").string();
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  const char* path() const { return path_.c_str(); }

 private:
  test_util::TempDir directory_;  // removed with the file
  std::string path_;
};

// The loaded table as (keyword, weight) pairs in slot order.
using Entries = std::vector<std::pair<std::string, int32_t>>;

Entries Load(const std::string& file_bytes, int* count = nullptr) {
  KeywordFile file(file_bytes);
  auto table = std::make_unique<KeywordTable>();
  const int n = table->LoadKeywordFileFrom(file.path());
  if (count != nullptr) *count = n;
  Entries entries;
  for (int k = 0; k < KeywordTable::kSlots && table->m_pKeywords[k] != nullptr; ++k) {
    entries.emplace_back(std::string(table->m_pKeywords[k]->View()), table->m_nWeights[k]);
  }
  EXPECT_EQ(static_cast<int>(entries.size()), n);
  EXPECT_EQ(std::strlen(table->m_szFirstBytes), entries.size());
  for (size_t k = 0; k < entries.size(); ++k) EXPECT_EQ(table->m_szFirstBytes[k], entries[k].first[0]);
  return entries;
}

TEST(KeywordLoadTest, FieldsWeightsAndSeparators) {
  struct Case {
    std::string file;
    Entries expected;
  };
  const Case cases[] = {
      {"", {}},
      {"\n\r\n\t\t\r\n\r", {}},
      {"word", {{"WORD", 1}}},
      {"w\t12", {{"W", 12}}},
      {"w\t 12", {{"W", 12}}},
      {"w\t+7", {{"W", 7}}},
      {"w\t12abc", {{"W", 12}}},
      {"w\t0\nx\t-5\ny\tabc", {{"W", 1}, {"X", 1}, {"Y", 1}}},
      {"w\t\x82\x50\x82\x51", {{"W", 1}}},  // full-width １２ are not digits
      {"w\t2147483648", {{"W", 1}}},        // wraps to a negative value
      {"w\t4294967298", {{"W", 2}}},        // 2^32 + 2 wraps to 2
      {"w\t\t5", {{"W", 5}}},
      {"\tw\t5", {{"W", 5}}},
      {"\t5", {{"5", 1}}},
      {"word 5", {{"WORD 5", 1}}},
      {"   ", {{"   ", 1}}},
      {"w\t5\t9", {{"W", 5}}},
      {"w\t \t9", {{"W", 1}}},  // the weight field is a blank; the third field is never read
      {"w\r5", {{"W", 5}}},     // a lone CR separates like a TAB
      {"#c\n;d", {{"#C", 1}, {";D", 1}}},
      {"abc\n\x82\x93\x82\x85\x82\x93\x82\x94\n\x82\xA0\x82\xA2",  // abc, ｓｅｓｔ, あい
       {{"ABC", 1}, {"\x73\x65\x73\x74", 1}, {"\xB1\xB2", 1}}},
      {"\x82\xA0\t3\n\x83\x41\t4", {{"\xB1", 3}, {"\xB1", 4}}},  // あ and ア both give ｱ
      {"\x8C\x5F\x96\xF1\t10", {{"\x8C\x5F\x96\xF1", 10}}},      // 契約 and 10
      {"a\r\nb\r\n", {{"A", 1}, {"B", 1}}},
      {"a\nb\x1A\x63\n", {{"A", 1}, {"B", 1}}},  // 0x1A ends the file
      {"a\x1A", {{"A", 1}}},
      {std::string("a\0\t5\nb\t2", 8), {{"A", 1}, {"B", 2}}},  // NUL hides the rest of the line
      {"last\t3", {{"LAST", 3}}},
      {"ab\x82", {{"AB\x82", 1}}},  // a lone lead byte at the end of a field
  };
  for (const Case& c : cases) EXPECT_EQ(Load(c.file), c.expected) << "file: " << c.file;
}

TEST(KeywordLoadTest, LineEndingsGiveTheSameTable) {
  EXPECT_EQ(Load("a\t2\nb\t3\n"), Load("a\t2\r\nb\t3\r\n"));
}

TEST(KeywordLoadTest, LongLinesAreReadInPiecesOf4095Bytes) {
  const Entries entries = Load(std::string(5000, 'q') + "\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].first, std::string(4095, 'Q'));
  EXPECT_EQ(entries[1].first, std::string(905, 'Q'));
  // Pieces are counted after CR LF has become LF: 4094 bytes and CR LF fit in one piece.
  EXPECT_EQ(Load(std::string(4094, 'q') + "\r\nz").size(), 2u);
}

TEST(KeywordLoadTest, FirstByteSetAndDuplicates) {
  KeywordFile file("abc\nxyz\nab\nabc\t9\n");
  KeywordTable table;
  ASSERT_EQ(table.LoadKeywordFileFrom(file.path()), 4);
  EXPECT_STREQ(table.m_szFirstBytes, "AXAA");
  EXPECT_EQ(table.m_pKeywords[4], nullptr);
  EXPECT_EQ(table.m_nWeights[3], 9);
}

TEST(KeywordLoadTest, HoldsAtMost9999Keywords) {
  std::string lines;
  for (int i = 0; i < 10005; ++i) {
    lines += 'k';  // appended piece by piece: "k" + ... draws a false -Wrestrict from GCC 12
    lines += std::to_string(i);
    lines += '\n';
  }
  KeywordFile file(lines);
  auto table = std::make_unique<KeywordTable>();
  EXPECT_EQ(table->LoadKeywordFileFrom(file.path()), 9999);
  EXPECT_EQ(table->IgnoredLines(), 6);
  EXPECT_EQ(std::strlen(table->m_szFirstBytes), 9999u);
  EXPECT_EQ(table->m_pKeywords[9998]->View(), "K9998");
  EXPECT_EQ(table->m_pKeywords[9999], nullptr);
  EXPECT_NE(table->Index(), nullptr);
  table->ReleaseKeywords();
  for (CString* slot : table->m_pKeywords) EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(table->Index(), nullptr);
}

// What the report says of each stored keyword: line, piece, how the weight was read, field.
using Sources = std::vector<std::tuple<int, int, KeywordListReport::Weight, std::string>>;

KeywordListReport Report(const std::string& file_bytes) {
  KeywordFile file(file_bytes);
  auto table = std::make_unique<KeywordTable>();
  KeywordListReport report;
  int error_number = 0;
  const int n = table->LoadKeywordFileFrom(file.path(), &error_number, &report);
  EXPECT_EQ(error_number, 0);
  EXPECT_EQ(report.keywords.size(), static_cast<size_t>(n));
  return report;
}

Sources SourcesOf(const KeywordListReport& report) {
  Sources sources;
  for (const auto& s : report.keywords) sources.emplace_back(s.line, s.piece, s.weight, s.field);
  return sources;
}

TEST(KeywordReportTest, LinesAndHowEachWeightWasRead) {
  using W = KeywordListReport::Weight;
  const KeywordListReport report = Report(
      "a\t5\nb\t0\r\nc\t-3\n\n\t\r\nd\tabc\ne\t2147483648\nf\t4294967298\ng\n"
      "h\t-2147483648\ni\t-4294967294\nj\t \t9\nk\rl\n"
      "m\t12abc\x1An\t3\n");
  EXPECT_EQ(SourcesOf(report), (Sources{
                                   {1, 0, W::kRead, "5"},
                                   {2, 0, W::kNotPositive, "0"},
                                   {3, 0, W::kNotPositive, "-3"},
                                   {6, 0, W::kNotANumber, "abc"},  // lines 4 and 5 hold no field
                                   {7, 0, W::kWrapped, "2147483648"},
                                   {8, 0, W::kWrapped, "4294967298"},
                                   {9, 0, W::kAbsent, ""},
                                   {10, 0, W::kNotPositive, "-2147483648"},  // fits, negative
                                   {11, 0, W::kWrapped, "-4294967294"},      // wraps to 2
                                   {12, 0, W::kNotANumber, " "},
                                   {13, 0, W::kNotANumber, "l"},  // a lone CR separates fields
                                   {14, 0, W::kRead, "12abc"},
                               }));
  EXPECT_TRUE(report.split_lines.empty());
  EXPECT_TRUE(report.ignored_lines.empty());
}

TEST(KeywordReportTest, PiecesOfLongLinesKeepTheirLineNumber) {
  // Line 1 gives two keywords; line 2 of 4095 bytes and its LF gives one, the LF alone being no
  // field; line 3 of 4094 bytes and CR LF fits in one piece.
  const KeywordListReport report = Report(std::string(5000, 'q') + "\n" + std::string(4095, 'r') +
                                          "\n" + std::string(4094, 's') + "\r\nz");
  using W = KeywordListReport::Weight;
  EXPECT_EQ(SourcesOf(report), (Sources{{1, 0, W::kAbsent, ""},
                                        {1, 1, W::kAbsent, ""},
                                        {2, 0, W::kAbsent, ""},
                                        {3, 0, W::kAbsent, ""},
                                        {4, 0, W::kAbsent, ""}}));
  EXPECT_EQ(report.split_lines, std::vector<int>{1});
}

TEST(KeywordReportTest, LinesPastTheCapacity) {
  std::string lines;
  for (int i = 0; i < 10002; ++i) lines += 'k' + std::to_string(i) + (i == 9998 ? "\n\n" : "\n");
  const KeywordListReport report = Report(lines);
  ASSERT_EQ(report.keywords.size(), 9999u);
  EXPECT_EQ(report.keywords.back().line, 9999);
  EXPECT_EQ(report.ignored_lines, (std::vector<int>{10001, 10002, 10003}));
}

TEST(KeywordLoadTest, MissingFileLoadsNothing) {
  KeywordTable table;
  EXPECT_EQ(table.LoadKeywordFileFrom("/nonexistent/orvan.key"), 0);
  EXPECT_STREQ(table.m_szFirstBytes, "");
  table.ReleaseKeywords();
  EXPECT_EQ(table.m_pKeywords[0], nullptr);
}

// A list that cannot be opened or read says why and loads nothing. (A FIFO, which needs the
// list opened once, is read by orlexmon-run's and orlexmon-score's tests.)
TEST(KeywordLoadTest, TellsWhyNothingLoaded) {
  const test_util::TempDir dir("keys");
  const std::string missing = (dir.path() / "orvan.key").string();
  const std::string directory = dir.path().string();
  for (const std::string& path : {missing, directory}) {
    auto table = std::make_unique<KeywordTable>();
    int error_number = 0;
    EXPECT_EQ(table->LoadKeywordFileFrom(path.c_str(), &error_number), 0) << path;
    EXPECT_NE(error_number, 0) << path;  // ENOENT; EISDIR on Linux, EACCES on Windows
    EXPECT_EQ(table->m_pKeywords[0], nullptr);
    EXPECT_STREQ(table->m_szFirstBytes, "");
  }
  KeywordFile file("abc\t3\nxyz\n");
  auto table = std::make_unique<KeywordTable>();
  int error_number = -1;
  EXPECT_EQ(table->LoadKeywordFileFrom(file.path(), &error_number), 2);
  EXPECT_EQ(error_number, 0);
}

TEST(KeywordFilePathTest, DirectoryOfTheExecutable) {
  struct Case {
    PathConvention convention;
    std::string executable;
    std::string expected;  // empty: does not fit
  };
  constexpr PathConvention kCp932 = PathConvention::kCodePage932;
  constexpr PathConvention kUtf8 = PathConvention::kUtf8;
  // `before`, `count` letters d, then `after`: a path of a given length.
  const auto path = [](std::string before, size_t count, const char* after) {
    return before.append(count, 'd').append(after);
  };
  const Case cases[] = {
      {kCp932, "C:\\Tools\\orlexmon.exe", "C:\\Tools\\\\orvan.key"},
      {kCp932, "C:orlexmon.exe", "C:\\orvan.key"},
      {kCp932, "orlexmon.exe", "\\orvan.key"},
      {kCp932, "D:/Tools\\bin/orlexmon.exe", "D:/Tools\\bin/\\orvan.key"},
      // 表 is 0x95 0x5C: its second byte is not a separator.
      {kCp932, "C:\\\x95\x5Cx\\orlexmon.exe", "C:\\\x95\x5Cx\\\\orvan.key"},
      {kCp932, "C:\\a\\\x95\x5C", "C:\\a\\\\orvan.key"},
      // 255 bytes and the NUL fit; one more does not.
      {kCp932, path("C:\\", 241, "\\x"), path("C:\\", 241, "\\\\orvan.key")},
      {kCp932, path("C:\\", 242, "\\x"), ""},
      {kUtf8, "/opt/orlexmon/bin/orlexmon", "/opt/orlexmon/bin//orvan.key"},
      {kUtf8, "orlexmon", "/orvan.key"},
      {kUtf8, "/a\\b/orlexmon", "/a\\b//orvan.key"},  // a backslash is part of a name
      {kUtf8, "C:x/orlexmon", "C:x//orvan.key"},      // and so is a colon
      // UTF-8 folder names whose bytes are lead bytes of code page 932: テスト ends in 0x88,
      // 测试 in 0x95; neither may take the '/' after it for a second byte.
      {kUtf8, "/x/\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88/orlexmon",
       "/x/\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88//orvan.key"},
      {kUtf8, "/x/\xE6\xB5\x8B\xE8\xAF\x95/orlexmon", "/x/\xE6\xB5\x8B\xE8\xAF\x95//orvan.key"},
      {kUtf8, path("/", 243, "/x"), path("/", 243, "//orvan.key")},
      {kUtf8, path("/", 244, "/x"), ""},
  };
  for (const Case& c : cases) {
    char out[KeywordTable::kPathSize];
    const bool fits = FormKeywordFilePath(c.executable.c_str(), c.convention, out);
    EXPECT_EQ(fits, !c.expected.empty()) << c.executable;
    if (fits) {
      EXPECT_EQ(std::string(out), c.expected) << c.executable;
    }
  }
}

// A table loaded from keyword lines, for the scan's cases.
class ScanTest : public ::testing::Test {
 protected:
  void Use(const std::string& lines) {
    file_ = std::make_unique<KeywordFile>(lines);
    table_ = std::make_unique<KeywordTable>();
    ASSERT_GT(table_->LoadKeywordFileFrom(file_->path()), 0);
  }
  std::pair<int32_t, int32_t> Scan(const char* text, int32_t points = 0, int32_t hits = 0) {
    const int32_t result = table_->ScanText(text, points, hits);
    EXPECT_EQ(result, points);
    return {hits, points};
  }
  std::unique_ptr<KeywordFile> file_;
  std::unique_ptr<KeywordTable> table_;
};

TEST_F(ScanTest, LeftmostFirstInTableNonOverlapping) {
  struct Case {
    const char* keywords;
    const char* text;
    int32_t hits;
    int32_t points;
  };
  const Case cases[] = {
      {"AB\t2\nABC\t5", "ABCD", 1, 2},  // the first in table order, not the longest
      {"ABC\t5\nAB\t2", "ABCD", 1, 5},
      {"AA", "AAA", 1, 1},
      {"AA", "AAAA", 2, 2},
      {"X\t3", "XYX", 2, 6},
      {"AB\nBC", "ABC", 1, 1},
      {"BC\t7\nAB", "ABC", 1, 1},  // the leftmost occurrence wins over table order
      {"A\t1\nA\t9", "AA", 2, 2},  // a later duplicate never hits
      {"A", "\x89\x41", 1, 1},     // a match on the second byte of 陰
      {"ABC", "AB", 0, 0},
      {"\x41\x89", "\x89\x41\x89\x41", 1, 1},  // across the boundary of two characters
      {"Q", "", 0, 0},
  };
  for (const Case& c : cases) {
    Use(c.keywords);
    EXPECT_EQ(Scan(c.text), std::make_pair(c.hits, c.points)) << c.keywords << " / " << c.text;
  }
}

TEST_F(ScanTest, FindHitsReportsEachHitInTextOrder) {
  Use("BC\nAB\nB\t4");
  std::vector<std::pair<size_t, int>> hits;
  const auto record = [](void* context, size_t offset, int slot) {
    static_cast<std::vector<std::pair<size_t, int>>*>(context)->emplace_back(offset, slot);
  };
  table_->FindHits("ABCxBCB", record, &hits);
  EXPECT_EQ(hits, (std::vector<std::pair<size_t, int>>{{0, 1}, {4, 0}, {6, 2}}));
  table_->FindHits(nullptr, record, &hits);
  EXPECT_EQ(hits.size(), 3u);
}

TEST_F(ScanTest, CountersAreAddedToAndNullChangesNothing) {
  Use("K\t2");
  EXPECT_EQ(Scan("xKx", 10, 4), std::make_pair(5, 12));
  EXPECT_EQ(Scan(nullptr, 10, 4), std::make_pair(4, 10));
}

TEST_F(ScanTest, CountersSaturate) {
  Use("K\t2147483647");
  EXPECT_EQ(Scan("KKK"), std::make_pair(3, std::numeric_limits<int32_t>::max()));
  EXPECT_EQ(Scan("K", -5, std::numeric_limits<int32_t>::max()),
            std::make_pair(std::numeric_limits<int32_t>::max(), 2147483642));
}

TEST_F(ScanTest, NothingPastTheTextIsRead) {
  Use("ABCDEFGH");
  // The text's buffer ends right after its NUL; address sanitizer catches any read past it.
  auto buffer = std::make_unique<char[]>(4);
  std::memcpy(buffer.get(), "ABC", 4);
  EXPECT_EQ(Scan(buffer.get()), std::make_pair(0, 0));
}

TEST_F(ScanTest, ScoreMessageNormalizesAndScansBodyThenTitle) {
  Use("abc\t3\n\x82\xA0\x82\xA2\t5");                         // abc, あい
  char body[] = "\x82\x60\x82\x61\x82\x62 \x83\x41\x83\x43";  // ＡＢＣ アイ
  char title[] = "abc";
  const Score score = table_->ScoreMessage(body, title);
  EXPECT_EQ(score.hits, 3);
  EXPECT_EQ(score.points, 11);
  EXPECT_STREQ(body, "ABC \xB1\xB2");
  EXPECT_STREQ(title, "ABC");

  // No match runs from the body's end into the title.
  Use("XY");
  char body2[] = "X";
  char title2[] = "Y";
  const Score none = table_->ScoreMessage(body2, title2);
  EXPECT_EQ(none.hits, 0);
  EXPECT_EQ(none.points, 0);
}

// The scan's rules written out plainly: at each position the first keyword in table order whose
// bytes all follow; after a hit, go on after it.
std::pair<int32_t, int32_t> PlainScan(const std::vector<std::string>& keywords,
                                      const std::vector<int32_t>& weights,
                                      const std::string& text) {
  int32_t hits = 0;
  int32_t points = 0;
  for (size_t p = 0; p < text.size();) {
    size_t advance = 1;
    for (size_t k = 0; k < keywords.size(); ++k) {
      if (text.compare(p, keywords[k].size(), keywords[k]) == 0) {
        ++hits;
        points += weights[k];
        advance = keywords[k].size();
        break;
      }
    }
    p += advance;
  }
  return {hits, points};
}

// Random tables of up to 300 keywords over a small alphabet (so that keywords share first and
// second bytes and are prefixes of each other), scanned with both vector widths.
TEST(ScanRandomTest, BothVectorWidthsFollowTheRules) {
  std::mt19937 rng(20261211);
  const char alphabet[] = "AB\x89\x5C";
  auto random_string = [&](size_t max_length) {
    std::string s(1 + rng() % max_length, ' ');
    for (char& c : s) c = alphabet[rng() % 4];
    return s;
  };
  for (int round = 0; round < 60; ++round) {
    const size_t count = 1 + rng() % 300;
    std::vector<std::string> keywords;
    std::vector<int32_t> weights;
    std::string lines;
    for (size_t k = 0; k < count; ++k) {
      keywords.push_back(random_string(k % 7 == 0 ? 1 : 6));
      weights.push_back(static_cast<int32_t>(1 + rng() % 9));
      lines += keywords.back() + "\t" + std::to_string(weights.back()) + "\n";
    }
    KeywordFile file(lines);
    auto table = std::make_unique<KeywordTable>();
    ASSERT_EQ(table->LoadKeywordFileFrom(file.path()), static_cast<int>(count));
    // The alphabet holds no a-z and no table characters, so the keywords load unchanged.
    for (int i = 0; i < 5; ++i) {
      const std::string text = random_string(400);
      const auto expected = PlainScan(keywords, weights, text);
      for (auto vectors : {Vectors::kWidest, Vectors::k32, Vectors::k16, Vectors::kNone}) {
        UseVectors(vectors);
        int32_t points = 0;
        int32_t hits = 0;
        table->ScanText(text.c_str(), points, hits);
        EXPECT_EQ(std::make_pair(hits, points), expected) << "round " << round;
      }
      UseVectors(Vectors::kWidest);
    }
  }
}

}  // namespace
