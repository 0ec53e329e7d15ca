// The randomized differential test: the real scoring core against the reference transcription
// (reference_scoring.h). Both must give identical bytes from NormalizeText, and identical hits,
// points and results from ScanText and ScoreMessage, on the same loaded table.
//
// The tables are loaded through the real loader from generated keyword files, so they hold what
// a keyword list can hold: random code-page-932 bytes, duplicates (also ones that only become
// equal through normalization), keywords that are prefixes of each other, lone lead bytes at a
// keyword's end, single ASCII letters that match second bytes, long keywords (up to the 4095
// bytes of a piece), many keywords that share their first bytes, keywords beginning with every
// byte a list can hold, and weights up to the 32-bit limit so that the counters saturate. Besides
// the table's own scan index, indexes over the same keywords whose buckets are all tries, all
// lists of one keyword, or lists as long as they may be are held to the reference too. Texts
// are exactly sized heap buffers, so a read past a NUL is caught by the address sanitizer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/reference_scoring.h"
#include "scoring/keyword_table.h"
#include "scoring/normalize.h"
#include "scoring/scan_index.h"
#include "scoring/scan_kernel.h"
#include "scoring/vectors.h"
#include "testing/test_util.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// Bytes that make matches likely: ASCII letters in both cases, kana lead bytes and their second
// bytes, half-width katakana, and 0x41 ('A'), which is also a second byte.
const unsigned char kDenseBytes[] = {'A',  'B',  'a',  'b',  ' ',  0x82, 0x83, 0x89,
                                     0xA0, 0x41, 0xB1, 0xB2, 0x60, 0x81, 0xE0, 0xFC};

class Random {
 public:
  explicit Random(uint32_t seed) : engine_(seed) {}

  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine_); }
  bool OneIn(int n) { return Below(n) == 0; }

  // A byte that can stand inside a keyword line: not NUL, TAB, LF, CR or 0x1A (which ends the
  // file).
  char LineByte() {
    for (;;) {
      const auto byte = static_cast<unsigned char>(1 + Below(255));
      if (byte != '\t' && byte != '\n' && byte != '\r' && byte != 0x1A) {
        return static_cast<char>(byte);
      }
    }
  }
  char DenseByte() { return static_cast<char>(kDenseBytes[Below(sizeof kDenseBytes)]); }
  char AnyByte() { return static_cast<char>(1 + Below(255)); }  // never NUL

  // One two-byte character: a lead byte and a second byte; often a kana or full-width one from
  // the conversion table. `in_line`: the second byte must be able to stand in a keyword line.
  std::string Character(bool in_line) {
    if (OneIn(2)) {
      const int k = Below(ConversionTable::kEntries);
      return std::string(ConversionTable::kDoubleBytes + 2 * k, 2);
    }
    const int lead = OneIn(2) ? 0x81 + Below(0x1F) : 0xE0 + Below(0x1D);
    return {static_cast<char>(lead), in_line ? LineByte() : AnyByte()};
  }

 private:
  std::mt19937 engine_;
};

// A keyword field (the bytes before the TAB), built in one of several ways from `earlier`.
std::string KeywordField(Random& random, const std::vector<std::string>& earlier) {
  std::string field;
  const int kind = random.Below(9);
  if (!earlier.empty() && kind <= 2) {
    const std::string& other = earlier[random.Below(static_cast<int>(earlier.size()))];
    switch (kind) {
      case 0:  // a duplicate
        return other;
      case 1:  // a prefix
        return other.substr(0, 1 + random.Below(static_cast<int>(other.size())));
      default:  // an extension: by a lone lead byte, a byte, or many bytes
        if (random.OneIn(4)) {
          field = other;
          const int more = random.OneIn(8) ? 1000 + random.Below(4000) : 1 + random.Below(150);
          for (int i = 0; i < more; ++i) field += random.DenseByte();
          return field;
        }
        return other +
               (random.OneIn(2) ? std::string(1, '\x82') : std::string(1, random.DenseByte()));
    }
  }
  const int length = 1 + random.Below(kind == 3 ? 2 : 6);
  for (int i = 0; i < length; ++i) {
    switch (kind) {
      case 3:  // a single ASCII letter or two, which also match second bytes
        field += static_cast<char>(random.OneIn(2) ? 'A' + random.Below(3) : 'a' + random.Below(3));
        break;
      case 4:
      case 5:
        field += random.DenseByte();
        break;
      case 6:
        field += random.Character(true);
        break;
      default:
        field += random.LineByte();
        break;
    }
  }
  if (random.OneIn(8)) field += static_cast<char>(0x81 + random.Below(3));  // a lone lead byte
  return field;
}

std::string WeightField(Random& random) {
  switch (random.Below(8)) {
    case 0:
      return "";
    case 1:
      return "\t" + std::to_string(kMax - random.Below(3));
    case 2:
      return "\t" + std::to_string(1000000000 + random.Below(1000));
    case 3:
      return "\t-" + std::to_string(random.Below(5));
    default:
      return "\t" + std::to_string(1 + random.Below(20));
  }
}

// A text: pieces of keywords, dense bytes, characters and arbitrary bytes, `length` pieces long.
std::string Text(Random& random, const std::vector<std::string>& keywords, int pieces) {
  std::string text;
  for (int i = 0; i < pieces; ++i) {
    const int kind = random.Below(6);
    if (kind == 0 && !keywords.empty()) {
      const std::string& keyword = keywords[random.Below(static_cast<int>(keywords.size()))];
      text += random.OneIn(3)
                  ? keyword.substr(0, 1 + random.Below(static_cast<int>(keyword.size())))
                  : keyword;
    } else if (kind <= 2) {
      text += random.DenseByte();
    } else if (kind == 3) {
      text += random.Character(false);
    } else {
      text += random.AnyByte();
    }
  }
  if (random.OneIn(6)) text += static_cast<char>(0x81 + random.Below(0x1F));  // ends in a lead byte
  return text;
}

// An exactly sized, NUL-terminated heap copy of `text`.
std::unique_ptr<char[]> Buffer(const std::string& text) {
  auto buffer = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
  return buffer;
}

// The scan has one build per vector width; each is held to the reference. The widths that the
// processor lacks fall back to the widest it has.
struct Width {
  Vectors vectors;
  const char* name;  // also the test's name
};
constexpr Width kWidths[] = {{Vectors::kWidest, "Widest"},
                             {Vectors::k32, "Bytes32"},
                             {Vectors::k16, "Bytes16"},
                             {Vectors::kNone, "Portable"}};

std::string Hex(const std::string& bytes) {
  std::string hex;
  char digits[4];
  for (unsigned char byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02X ", byte);
    hex += digits;
  }
  return hex;
}

// The list limits of the extra indexes: every bucket a trie, lists of one keyword, long lists.
constexpr size_t kListLimits[] = {0, 1, 64};

// Indexes over the keywords of a loaded table, built with other list limits than the table's.
class OtherIndexes {
 public:
  explicit OtherIndexes(const KeywordTable& table) {
    std::vector<const char*> bytes;
    std::vector<uint32_t> lengths;
    for (int k = 0; k < table.Count(); ++k) {
      bytes.push_back(table.m_pKeywords[k]->GetString());
      lengths.push_back(static_cast<uint32_t>(table.m_pKeywords[k]->GetLength()));
    }
    for (const size_t limit : kListLimits) {
      indexes_.push_back(ScanIndex::BuildWithListLimit(bytes.data(), lengths.data(),
                                                       table.m_nWeights, table.Count(), limit));
    }
  }

  // Requires each index to give the reference's hits and points on `text` (a buffer holding
  // `bytes`), loaded from `file`.
  void ExpectAgree(const KeywordTable& table, const char* text, const std::string& bytes,
                   const std::string& file) const {
    int32_t expected_points = 0, expected_hits = 0;
    reference::ScanText(table, text, expected_points, expected_hits);
    for (size_t i = 0; i < indexes_.size(); ++i) {
      int32_t points = 0, hits = 0;
      ScanActive(*indexes_[i], text, ScanCounters{&points, &hits});
      ASSERT_EQ(hits, expected_hits) << "list limit " << kListLimits[i] << "\n"
                                     << Hex(bytes) << "\n"
                                     << Hex(file);
      ASSERT_EQ(points, expected_points) << "list limit " << kListLimits[i] << "\n"
                                         << Hex(bytes) << "\n"
                                         << Hex(file);
    }
  }

 private:
  std::vector<std::unique_ptr<ScanIndex>> indexes_;
};

class DifferentialTest : public ::testing::TestWithParam<Width> {
 protected:
  void SetUp() override {
    UseVectors(GetParam().vectors);
    temp_ = std::make_unique<test_util::TempDir>("differential");
    dir_ = temp_->path();
  }
  void TearDown() override {
    UseVectors(Vectors::kWidest);
    temp_.reset();
  }

  // Loads a table from a keyword file holding `contents`.
  std::unique_ptr<KeywordTable> Load(const std::string& contents) {
    const std::string path = (dir_ / "orvan.key").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
    auto table = std::make_unique<KeywordTable>();
    table->LoadKeywordFileFrom(path.c_str());
    return table;
  }

  std::unique_ptr<test_util::TempDir> temp_;  // removed after each test
  fs::path dir_;                               // its path
};

// The normalizations to compare: with vectors, and the plain byte loop.
constexpr Vectors kNormalizeVectors[] = {Vectors::kWidest, Vectors::kNone};

// Normalizes `text` into a separate buffer, in place, and towards the start of the same buffer,
// and requires the reference's bytes: the whole buffer, the bytes after the result's NUL
// included, so that a write past the result shows too.
void ExpectSameNormalization(const std::string& text, int shift) {
  const size_t size = text.size() + 1;
  const auto expected = Buffer(text);
  reference::NormalizeText(expected.get(), expected.get());
  const std::string shifted = std::string(static_cast<size_t>(shift), 'Z') + text;
  const auto expected_shifted = Buffer(shifted);
  reference::NormalizeText(expected_shifted.get() + shift, expected_shifted.get());

  for (const Vectors vectors : kNormalizeVectors) {
    UseVectors(vectors);
    SCOPED_TRACE("vectors " + std::to_string(static_cast<int>(vectors)) + ": " + Hex(text));
    const auto source = Buffer(text);
    auto separate = std::make_unique<char[]>(size);
    ASSERT_EQ(NormalizeText(source.get(), separate.get()), separate.get());
    EXPECT_STREQ(separate.get(), expected.get());

    const auto in_place = Buffer(text);
    NormalizeText(in_place.get(), in_place.get());
    EXPECT_EQ(std::memcmp(in_place.get(), expected.get(), size), 0);

    // The source lies `shift` bytes into the buffer, after bytes that must stay unread.
    const auto towards_start = Buffer(shifted);
    NormalizeText(towards_start.get() + shift, towards_start.get());
    EXPECT_EQ(std::memcmp(towards_start.get(), expected_shifted.get(), shifted.size() + 1), 0);
  }
  UseVectors(Vectors::kWidest);
}

TEST(DifferentialNormalizeTest, EveryByteAndEveryTwoBytePairAgree) {
  // Each byte pair is followed by a letter, so a wrong advance shows in the output; a lead byte
  // standing alone before the NUL is covered by the pair (lead, letter) read as one character
  // and by the single-byte texts. The pairs stand once near the start of a text long enough for
  // the vector blocks and once near its end, where the byte loop takes them.
  for (int first = 1; first < 256; ++first) {
    ExpectSameNormalization(std::string(1, static_cast<char>(first)), 0);
    std::string text;
    for (int second = 1; second < 256; ++second) {
      text += {static_cast<char>(first), static_cast<char>(second), 'q'};
    }
    ExpectSameNormalization(text, 1);
    ExpectSameNormalization(std::string(100, 'a') + text.substr(0, 60), 2);
  }
}

TEST(DifferentialNormalizeTest, CharactersAcrossBlockBoundaries) {
  // Runs of lead-range bytes of every length, converting and non-converting characters, and
  // lone lead bytes, placed so that they straddle the first blocks' ends (64, 65, 128 bytes).
  const std::string kinds[] = {"\x82\xA0", "\x83\x41", "\x89\x41", "\x81\x81",
                               "\x82\x82", "\xE0\x40", "\x81",     "\xFC\xFC"};
  for (size_t start = 56; start <= 70; ++start) {
    for (size_t run = 1; run <= 7; ++run) {
      for (const std::string& kind : kinds) {
        std::string text(start, 'b');
        for (size_t i = 0; i < run; ++i) text += kind;
        text += "\x82\xA0x" + std::string(start, 'c') + kind + std::string(20, 'd');
        ExpectSameNormalization(text, 1 + static_cast<int>(run % 4));
        text.resize(start + run * kind.size());  // ends in the middle of the run
        ExpectSameNormalization(text + std::string(80 - std::min<size_t>(80, start), 'e'), 1);
        ExpectSameNormalization(std::string(80, 'f') + text, 3);
      }
    }
  }
}

TEST(DifferentialNormalizeTest, RandomTextsAgreeInEveryPlacement) {
  Random random(20261211);
  for (int round = 0; round < 3000; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ExpectSameNormalization(Text(random, {}, random.Below(round % 2 == 0 ? 80 : 400)),
                            1 + random.Below(5));
  }
}

TEST_P(DifferentialTest, RandomTablesAndTextsScoreAlike) {
  Random random(4242);
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int lines =
        round % 10 == 0 ? random.Below(4) : 1 + random.Below(round % 3 == 0 ? 200 : 25);
    std::vector<std::string> fields;
    std::string file;
    for (int i = 0; i < lines; ++i) {
      fields.push_back(KeywordField(random, fields));
      file += fields.back() + WeightField(random) + (random.OneIn(4) ? "\r\n" : "\n");
    }
    const auto table = Load(file);
    const OtherIndexes others(*table);

    // Texts are built from the keywords as written, so the normalization folds them the same
    // way as it folded the keywords.
    for (int t = 0; t < 25; ++t) {
      const std::string text = Text(random, fields, random.Below(60));

      // ScanText on the text as it is (not normalized), with counters that may start anywhere.
      static const int32_t kStarts[] = {0, 7, kMax - 3, kMax, kMin, -5};
      const int32_t start_points = kStarts[random.Below(6)];
      const int32_t start_hits = random.OneIn(4) ? kMax - 1 : random.Below(3);
      int32_t points = start_points, hits = start_hits;
      int32_t expected_points = start_points, expected_hits = start_hits;
      const auto scanned = Buffer(text);
      const int32_t result = table->ScanText(scanned.get(), points, hits);
      const int32_t expected =
          reference::ScanText(*table, scanned.get(), expected_points, expected_hits);
      ASSERT_EQ(result, expected) << Hex(text) << "\n" << Hex(file);
      ASSERT_EQ(points, expected_points) << Hex(text) << "\n" << Hex(file);
      ASSERT_EQ(hits, expected_hits) << Hex(text) << "\n" << Hex(file);
      others.ExpectAgree(*table, scanned.get(), text, file);

      // ScoreMessage on a body and a title.
      const std::string title = Text(random, fields, random.Below(8));
      const auto body = Buffer(text), expected_body = Buffer(text);
      const auto heading = Buffer(title), expected_heading = Buffer(title);
      const Score score = table->ScoreMessage(body.get(), heading.get());
      const Score reference_score =
          reference::ScoreMessage(*table, expected_body.get(), expected_heading.get());
      ASSERT_STREQ(body.get(), expected_body.get()) << Hex(text);
      ASSERT_STREQ(heading.get(), expected_heading.get()) << Hex(title);
      ASSERT_EQ(score.hits, reference_score.hits) << Hex(text) << "|" << Hex(title) << "\n"
                                                  << Hex(file);
      ASSERT_EQ(score.points, reference_score.points) << Hex(text) << "|" << Hex(title) << "\n"
                                                      << Hex(file);
    }
  }
}

TEST_P(DifferentialTest, FullTableAgrees) {
  // The largest table: 9999 keywords, many sharing first bytes, and lines past the limit.
  Random random(99);
  std::vector<std::string> fields;
  std::string file;
  for (int i = 0; i < KeywordTable::kMaxKeywords + 5; ++i) {
    fields.push_back(KeywordField(random, fields));
    file += fields.back() + WeightField(random) + "\n";
  }
  const auto table = Load(file);
  ASSERT_EQ(table->Count(), KeywordTable::kMaxKeywords);
  const OtherIndexes others(*table);
  for (int t = 0; t < 40; ++t) {
    const std::string text = Text(random, fields, 200);
    int32_t points = 0, hits = 0, expected_points = 0, expected_hits = 0;
    const auto buffer = Buffer(text);
    table->ScanText(buffer.get(), points, hits);
    reference::ScanText(*table, buffer.get(), expected_points, expected_hits);
    ASSERT_EQ(points, expected_points) << Hex(text);
    ASSERT_EQ(hits, expected_hits) << Hex(text);
    others.ExpectAgree(*table, buffer.get(), text, "");
  }
}

TEST_P(DifferentialTest, ManyKeywordsShareTheirFirstBytes) {
  // Lists whose keywords share their first bytes, so that buckets hold hundreds of keywords,
  // lists overflow into tries and walks go deep; some keywords are hundreds of bytes long.
  // Texts repeat the shared bytes and then stop short of whole keywords.
  Random random(5150);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::string shared;
    for (int i = 1 + random.Below(6); i > 0; --i) shared += random.DenseByte();
    std::vector<std::string> fields;
    std::string file;
    for (int i = 50 + random.Below(round % 3 == 0 ? 3000 : 300); i > 0; --i) {
      std::string field = shared.substr(0, 1 + random.Below(static_cast<int>(shared.size())));
      for (int n = random.OneIn(20) ? 100 + random.Below(400) : random.Below(12); n > 0; --n) {
        field += random.DenseByte();
      }
      fields.push_back(field);
      file += field + WeightField(random) + "\n";
    }
    const auto table = Load(file);
    const OtherIndexes others(*table);
    for (int t = 0; t < 20; ++t) {
      std::string text;
      for (int piece = random.Below(40); piece > 0; --piece) {
        text += random.OneIn(3) ? shared : Text(random, fields, 1);
      }
      int32_t points = 0, hits = 0, expected_points = 0, expected_hits = 0;
      const auto buffer = Buffer(text);
      table->ScanText(buffer.get(), points, hits);
      reference::ScanText(*table, buffer.get(), expected_points, expected_hits);
      ASSERT_EQ(points, expected_points) << Hex(text);
      ASSERT_EQ(hits, expected_hits) << Hex(text);
      others.ExpectAgree(*table, buffer.get(), text, file);
    }
  }
}

TEST_P(DifferentialTest, KeywordsBeginningWithEveryByte) {
  // A keyword list can begin a line with any byte but NUL, TAB, LF, CR and 0x1A; through the
  // full-width small letters, keywords can begin with a-z too.
  std::string file;
  std::string text;
  for (int b = 1; b < 256; ++b) {
    if (b == '\t' || b == '\n' || b == '\r' || b == 0x1A) continue;
    const char byte = static_cast<char>(b);
    file += std::string(1, byte) + "\x82\xA0\t" + std::to_string(b) + "\n";
    if (b % 4 == 0) file += std::string(1, byte) + "\n";
    text += std::string(1, byte) + "\xB1" + byte + "\x82" + byte;
  }
  for (int k = 0; k < 26; ++k) file += std::string("\x82") + static_cast<char>(0x81 + k) + "Q\n";
  text += "aQbQzQ";
  const auto table = Load(file);
  const OtherIndexes others(*table);
  int32_t points = 0, hits = 0, expected_points = 0, expected_hits = 0;
  const auto buffer = Buffer(text);
  table->ScanText(buffer.get(), points, hits);
  reference::ScanText(*table, buffer.get(), expected_points, expected_hits);
  EXPECT_EQ(points, expected_points);
  EXPECT_EQ(hits, expected_hits);
  EXPECT_GT(hits, 250);  // the text is made to hit often
  others.ExpectAgree(*table, buffer.get(), text, file);
}

INSTANTIATE_TEST_SUITE_P(EveryWidth, DifferentialTest, ::testing::ValuesIn(kWidths),
                         [](const ::testing::TestParamInfo<Width>& width) {
                           return std::string(width.param.name);
                         });

}  // namespace
