// Tests of the scan index and the scan loop over it: which keywords are live, and that every
// build of the loop, over indexes whose buckets are lists, tries or both, finds exactly the hits
// that the scan's rules give.
#include "scoring/scan_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "scoring/scan_kernel.h"
#include "scoring/vectors.h"

namespace {

// An index over `keywords` (weights 1, 2, 3, ... in order) with the given list limit.
std::unique_ptr<ScanIndex> Index(const std::vector<std::string>& keywords, size_t list_limit) {
  std::vector<const char*> bytes;
  std::vector<uint32_t> lengths;
  std::vector<int32_t> weights;
  for (const std::string& keyword : keywords) {
    bytes.push_back(keyword.c_str());
    lengths.push_back(static_cast<uint32_t>(keyword.size()));
    weights.push_back(static_cast<int32_t>(weights.size() + 1));
  }
  return ScanIndex::BuildWithListLimit(bytes.data(), lengths.data(), weights.data(),
                                       static_cast<int>(keywords.size()), list_limit);
}

using Hits = std::vector<std::pair<size_t, int>>;  // (offset, slot) in text order

Hits Scan(const ScanIndex& index, const std::string& text) {
  Hits hits;
  ScanActive(index, text.c_str(),
             ScanListener{[](void* context, size_t offset, int slot) {
                            static_cast<Hits*>(context)->emplace_back(offset, slot);
                          },
                          &hits});
  return hits;
}

// The scan's rules written out plainly: at each position the first keyword in table order whose
// bytes all follow; after a hit, go on after it.
Hits PlainScan(const std::vector<std::string>& keywords, const std::string& text) {
  Hits hits;
  for (size_t p = 0; p < text.size();) {
    size_t advance = 1;
    for (size_t k = 0; k < keywords.size(); ++k) {
      if (text.compare(p, keywords[k].size(), keywords[k]) == 0) {
        hits.emplace_back(p, static_cast<int>(k));
        advance = keywords[k].size();
        break;
      }
    }
    p += advance;
  }
  return hits;
}

// Every build of the loop, and lists only, tries only, and lists of one keyword each.
constexpr Vectors kEveryVectors[] = {Vectors::kWidest, Vectors::k32, Vectors::k16, Vectors::kNone};
constexpr size_t kListLimits[] = {ScanIndex::kListLimit, 0, 1, 64};

class ScanIndexTest : public ::testing::Test {
 protected:
  void TearDown() override { UseVectors(Vectors::kWidest); }

  // Scans `text` every way and requires the plain rules' hits.
  void ExpectRules(const std::vector<std::string>& keywords, const std::string& text,
                   const std::string& what) {
    const Hits expected = PlainScan(keywords, text);
    for (const size_t limit : kListLimits) {
      const auto index = Index(keywords, limit);
      for (const Vectors vectors : kEveryVectors) {
        UseVectors(vectors);
        ASSERT_EQ(Scan(*index, text), expected)
            << what << ", list limit " << limit << ", vectors " << static_cast<int>(vectors);
      }
    }
  }
};

TEST_F(ScanIndexTest, LiveKeywordsAreThoseNoEarlierKeywordIsAPrefixOf) {
  struct Case {
    std::vector<std::string> keywords;
    std::vector<bool> live;
  };
  const Case cases[] = {
      {{"AB", "ABC"}, {true, false}},
      {{"ABC", "AB"}, {true, true}},
      {{"A", "A"}, {true, false}},
      {{"AB", "A", "ABC"}, {true, true, false}},
      {{"ABC", "AB", "A", "AB"}, {true, true, true, false}},
      {{"A", "AB", "ABC", "B"}, {true, false, false, true}},
      {{"XY", "X", "XYZ", "XZ"}, {true, true, false, false}},
  };
  for (const Case& c : cases) {
    const auto index = Index(c.keywords, ScanIndex::kListLimit);
    for (size_t k = 0; k < c.keywords.size(); ++k) {
      EXPECT_EQ(index->IsLive(static_cast<int>(k)), c.live[k]) << c.keywords[k] << " #" << k;
    }
  }
}

TEST_F(ScanIndexTest, WinnersInEveryKindOfBucket) {
  const std::string c20(20, 'C');
  struct Case {
    std::vector<std::string> keywords;
    std::string text;
  };
  const Case cases[] = {
      // A chain of prefixes, longest first: each is live and wins where it is the longest.
      {{"ABCD", "ABC", "AB", "A"}, "ABCDABCABAB"},
      // Shortest first: the longer ones never win.
      {{"A", "AB", "ABC"}, "ABCABA"},
      // The keyword of two bytes after the longer ones of its pair fail, then the one-byte one.
      {{"ABX", "AB", "A"}, "ABYABXAC"},
      {{"ABC", "A"}, "ABDAB"},
      // Third bytes 0x41 and 0x81 fall into the same group of the pair's bucket.
      {{"AB\x41Z", "AB\x81Q", "AB\xC1"},
       "AB\x81QAB\x41ZAB\xC1\x41"
       "AB\x81Z"},
      // Labels and keywords longer than 8 and 16 bytes, and texts that end inside them.
      {{"AB" + c20 + "D", "AB" + c20 + "E", "AB" + c20}, "xAB" + c20 + "EAB" + c20 + "AB" + c20},
      {{"AB" + c20 + "D", "A"}, "AB" + c20.substr(0, 10)},
      // A match on a second byte, and across two characters.
      {{"A", "\x41\x89"}, "\x89\x41\x89\x41"},
      {{"\x41\x89", "A"}, "\x89\x41\x89\x41"},
      // A keyword that ends in a lone lead byte.
      {{"AB\x82"},
       "AB\x82"
       "AB"},
      // Duplicates: the later one never hits.
      {{"XY", "XY", "X"}, "XYXXY"},
      // A keyword of two bytes at the very end.
      {{"ABC", "AB"}, "AB"},
  };
  for (const Case& c : cases) ExpectRules(c.keywords, c.text, c.text);
}

TEST_F(ScanIndexTest, KeywordsBeginningWithEveryByte) {
  // Every byte a keyword can begin with: all but 0 (and TAB, LF, CR, 0x1A, which a keyword
  // list cannot hold; the index does not care).
  std::vector<std::string> keywords;
  std::string text;
  for (int b = 1; b < 256; ++b) {
    const char first = static_cast<char>(b);
    if (b % 3 == 0) keywords.push_back(std::string(1, first));
    keywords.push_back(std::string(1, first) + "\x81" + first);
    keywords.push_back(std::string(1, first) + first);
    text += std::string(1, first) + first + first + "\x81" + first + first;
  }
  ExpectRules(keywords, text, "every first byte");
}

TEST_F(ScanIndexTest, RandomListsOverFewBytes) {
  // Few distinct bytes make keywords share their first bytes and be prefixes of each other, so
  // groups overflow the list limit, lists and tries both form, and long walks happen; some
  // keywords are long enough (up to 300 bytes) to make their buckets tries. Texts are made of
  // keyword prefixes, which match the start of keywords without completing them.
  std::mt19937 random(932);
  const std::string alphabet = "AB\x81\xC1\x41";
  const auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  for (int round = 0; round < 40; ++round) {
    std::vector<std::string> keywords;
    const size_t count = 1 + pick(round % 4 == 0 ? 400 : 60);
    for (size_t k = 0; k < count; ++k) {
      const size_t length = pick(10) == 0 ? 20 + pick(280) : 1 + pick(k % 5 == 0 ? 2 : 9);
      std::string keyword;
      for (size_t i = 0; i < length; ++i) keyword += alphabet[pick(i < 3 ? 2 : alphabet.size())];
      keywords.push_back(keyword);
    }
    std::string text;
    while (text.size() < 600) {
      const std::string& keyword = keywords[pick(keywords.size())];
      text += keyword.substr(0, 1 + pick(keyword.size()));
      if (pick(3) == 0) text += alphabet[pick(alphabet.size())];
    }
    ExpectRules(keywords, text, "round " + std::to_string(round));
  }
}

}  // namespace
