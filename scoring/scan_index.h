// The scan index: what the keyword table's load builds beside the table so that the scan finds
// the winner at a text position without walking the keyword list.
//
// The winner at a position is the first keyword in table order whose bytes all follow there.
// Two facts shape the index:
//   1. A keyword that an earlier keyword is a prefix of (an identical one included) can never
//      win: wherever it matches, the earlier one matches too. The index holds only the others,
//      the live keywords.
//   2. The keywords that match at one position are prefixes of one another, so they lie along
//      one path of a trie. Among live keywords, a longer one on such a path always comes earlier
//      in the table (else the shorter one would have made it dead). So the winner is the longest
//      live keyword that matches: the deepest one the path reaches.
//
// Layout, searched in this order at a position whose bytes are b0 b1 b2 b3:
//   - the first-byte set of the live keywords (a byte table; the vector pre-test of
//     scan_kernel.h asks more: the first byte of a one-byte keyword, or the first byte of a
//     longer one followed by the second byte of one);
//   - MayBegin, without branches: a bit set of the pairs b0 b1 that begin a live keyword of at
//     most three bytes (for a one-byte keyword, every pair it begins), and a hashed bit set of
//     the first four bytes of the longer ones;
//   - the bucket of the pair b0 b1 (a table of 65536 bucket numbers): the live keywords of two
//     bytes or more that begin with it, and a 64-bit filter of their third bytes (modulo 64).
//     Usually the bucket is a list: its keyword of just those two bytes, if any, and per third
//     byte (modulo 64) a group of keywords in table order, each tested on its first 16 bytes
//     with two masked 8-byte comparisons, the rest compared only when those pass. When a group
//     holds more than kListLimit keywords or a keyword is longer than kListLength bytes, the
//     bucket is a path-compressed trie over the keywords' remaining bytes, whose edges point
//     into the keyword strings themselves;
//   - the live one-byte keyword b0, which wins when no keyword of the bucket matches (it comes
//     after every live keyword that begins with b0).
// Weights are copied next to the keywords, so a hit needs no further look-up.
//
// Cost: at a position, the tests above and at most one bucket: a list group costs at most
// kListLimit comparisons plus the bytes of the keywords that pass them, at most kListLimit *
// kListLength bytes; a trie walk costs at most the length of the longest keyword. So a text of
// n bytes costs O(n * longest keyword) in the worst case and usually about n.
// Memory: about 155 KB of fixed tables and O(number of keywords) for buckets, lists and tries,
// whatever the keywords' lengths. What a scan touches is kept small and dense, so that the
// index of a long list mostly stays in the processor's caches.
//
// Built once, read-only afterwards; it points into the keyword strings, so it must be released
// before them. Not copyable. One thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

class ScanIndex {
 public:
  // A list bucket's group (its keywords with one third byte, modulo 64) holds at most this
  // many keywords, and a list bucket's keywords are at most kListLength bytes long.
  static constexpr size_t kListLimit = 32;
  static constexpr size_t kListLength = 64;

  // A match at a position: the winning keyword's slot, length and weight, or slot -1.
  struct Match {
    int32_t keyword;  // slot in table order, or -1 when no keyword matches
    uint32_t length;  // the keyword's length in bytes
    int32_t weight;   // the keyword's weight
  };

  // Builds the index of `count` keywords given in table order: keywords[k] points to the
  // lengths[k] bytes of keyword k (no NUL among them), which must stay unchanged while the index
  // is in use; weights[k] is its weight. Throws std::bad_alloc when memory runs out, like the
  // load's string allocations.
  // REQUIRES: count >= 0; every length >= 1.
  static std::unique_ptr<ScanIndex> Build(const char* const* keywords, const uint32_t* lengths,
                                          const int32_t* weights, int count);

  // Same, with a list bucket limit of `list_limit` keywords instead of kListLimit (0: every
  // bucket is a trie), so that tests can hold both kinds of bucket to the same results.
  // REQUIRES: list_limit <= 64.
  static std::unique_ptr<ScanIndex> BuildWithListLimit(const char* const* keywords,
                                                       const uint32_t* lengths,
                                                       const int32_t* weights, int count,
                                                       size_t list_limit);

  ScanIndex(const ScanIndex&) = delete;
  ScanIndex& operator=(const ScanIndex&) = delete;

  // Bytes the index holds on the heap and in itself, not counting the keyword strings.
  size_t Bytes() const;

  // Whether keyword k can ever win (see fact 1 above).
  bool IsLive(int keyword) const { return m_live[static_cast<size_t>(keyword)] != 0; }

  // Is `byte` the first byte of a live keyword?
  bool InFirstSet(unsigned char byte) const { return m_firstSet[byte] != 0; }

  // The byte sets of the vector pre-test: a keyword may begin at a position only when its byte
  // begins a live keyword (kAnyFirst); more precisely, when it begins a live one-byte keyword,
  // or begins a longer live keyword and the next byte is the second byte of some longer live
  // keyword. The second byte is worth testing only when few bytes are second bytes (see
  // SecondByteTest).
  enum ByteSet { kAnyFirst, kOneByteFirst, kLongFirst, kLongSecond, kByteSets };
  // A byte set as nibble tables: bit (high & 7) of ByLow(set, high < 8 ? 0 : 1)[low] is set when
  // the byte high * 16 + low is in the set.
  const unsigned char* ByLow(ByteSet set, int half) const { return m_byLow[set][half]; }
  bool SecondByteTest() const { return m_secondByteTest; }

  // Whether some live keyword may begin at a position whose first four bytes are `head` (the
  // first byte in the low byte; zero past the text's NUL). True for every position where one
  // matches; false for most others. Without branches.
  bool MayBegin(uint32_t head) const {
    const uint32_t pair = head & 0xFFFF;
    const uint32_t quad = (head * 0x9E3779B1u) >> (32 - kQuadBits);
    return ((m_shortPairs[pair >> 6] >> (pair & 63)) | (m_quads[quad >> 6] >> (quad & 63))) & 1;
  }

  // The next test at a position: whether a keyword may begin at `at`, whose NUL lies
  // `remaining` bytes on, when its bucket and third byte are looked at. Returns the bucket to
  // try (kNoBucket when only the one-byte keyword of at[0] may win) or kNoMatch when no keyword
  // can begin there. Without branches.
  // REQUIRES: remaining >= 1.
  static constexpr uint32_t kNoBucket = UINT32_MAX - 1;
  static constexpr uint32_t kNoMatch = UINT32_MAX;
  uint32_t Probe(const unsigned char* at, size_t remaining) const {
    const unsigned pair = at[0] | unsigned{at[1]} << 8;
    const uint32_t bucket = m_pairBuckets[pair];  // 0, the sentinel, whose filter is 0
    const unsigned char third = at[remaining < 2 ? remaining : 2];  // never past the NUL
    const uint32_t otherwise = m_oneByte[at[0]] >= 0 ? kNoBucket : kNoMatch;
    return (m_buckets[bucket].filter >> (third & 63) & 1) != 0 ? bucket : otherwise;
  }

  // The winner at `position` of `text`, whose NUL is at `length`, given what Probe returned
  // there.
  // REQUIRES: position < length; Probe(text + position) returned `bucket`, not kNoMatch.
  Match MatchAt(const unsigned char* text, size_t position, size_t length, uint32_t bucket) const;

 private:
  // The live keywords of two bytes or more that begin with one pair.
  struct Bucket {
    uint64_t filter;      // thirdBytes, or all bits when `two` is a keyword (or for a trie)
    uint64_t thirdBytes;  // bit t % 64 for the third byte t of each keyword longer than 2 bytes
    uint32_t start;       // lists: its first group in m_groups; trie: its root node
    uint32_t isTrie;      // 1 for a trie
    int32_t two;          // the live keyword of just these two bytes (lists only), or -1
    int32_t twoWeight;    // its weight
  };

  // A keyword of a list: all a test of it needs, in one place.
  struct ListEntry {
    uint64_t head;     // its first 8 bytes, zero past its end
    uint64_t next;     // its bytes 8 to 15, zero past its end
    int32_t weight;    // its weight
    uint32_t keyword;  // its slot << 12 | its length (at most kListLength)
  };
  static constexpr unsigned kLengthBits = 12;

  // A trie node: the keyword bytes up to a depth. Its children lie next to each other in
  // m_nodes, and their branch bytes in m_branchBytes at the same positions.
  struct Node {
    uint64_t labelHead;          // the first 8 bytes of `label`, zero past its end
    const unsigned char* label;  // the edge's bytes after the branch byte (in a keyword string)
    uint32_t firstChild;         // first child in m_nodes
    int32_t keyword;             // live keyword that ends here, or -1
    int32_t weight;              // its weight
    uint16_t depth;              // bytes from the keyword's start to this node
    uint16_t labelLength;        // bytes at `label`
    uint16_t childCount;         // children, 0 to 255 (keyword bytes are never 0)
    uint32_t ranks;              // more than 16 children: offset of 256 bytes in m_childRanks
  };

  static constexpr size_t kBranchPadding = 16;  // readable bytes after the last branch byte

  ScanIndex() = default;

  static uint32_t Rank(uint64_t bits) {
#if defined(__POPCNT__)
    return static_cast<uint32_t>(__builtin_popcountll(bits));
#else
    bits -= (bits >> 1) & 0x5555555555555555u;
    bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<uint32_t>((bits * 0x0101010101010101u) >> 56);
#endif
  }

  Match MatchList(uint32_t group, const unsigned char* text, size_t length) const;
  Match MatchTrie(uint32_t root, const unsigned char* text, size_t length) const;
  const Node* Child(const Node& node, unsigned char byte) const;

  // Pre-test.
  unsigned char m_firstSet[256] = {};            // 1 for the first byte of every live keyword
  unsigned char m_byLow[kByteSets][2][16] = {};  // the vector pre-test's sets by low nibble
  bool m_secondByteTest = false;                 // whether the pre-test looks at second bytes
  // bit b0 + 256 * b1: a live keyword of at most three bytes begins so (of one byte: any b1)
  uint64_t m_shortPairs[65536 / 64] = {};
  // bit (first four bytes * 0x9E3779B1) >> (32 - kQuadBits): a live keyword of four bytes or
  // more begins with them
  static constexpr unsigned kQuadBits = 17;
  uint64_t m_quads[(size_t{1} << kQuadBits) / 64] = {};
  // Winners.
  int32_t m_oneByte[256];                     // live one-byte keyword per byte, or -1
  int32_t m_oneByteWeights[256];              // its weight
  std::vector<uint16_t> m_pairBuckets;        // per pair b0 + 256 * b1: its bucket, or 0
  std::vector<Bucket> m_buckets;              // 0: a sentinel that nothing passes; then by pair
  std::vector<uint32_t> m_groups;             // list buckets: per bit of thirdBytes, in bit order,
                                              // its first entry; then the end of the last group
  std::vector<ListEntry> m_listEntries;       // every list's keywords, list after list
  std::vector<const unsigned char*> m_bytes;  // per slot: the keyword's bytes
  std::vector<Node> m_nodes;                  // trie nodes of every trie bucket
  std::vector<unsigned char> m_branchBytes;   // per node: the byte that leads into it; padded
  std::vector<unsigned char> m_childRanks;    // per wide node: child index + 1 by byte, or 0
  std::vector<unsigned char> m_live;          // per slot: 1 when the keyword can win
};

// Reads 8 bytes of `text` from `position`, zero past `length` (the NUL, never read).
inline uint64_t LoadEight(const unsigned char* text, size_t position, size_t length) {
  uint64_t word = 0;
  if (length - position >= 8) {
    std::memcpy(&word, text + position, 8);  // the usual case: a fixed size, one load
  } else {
    std::memcpy(&word, text + position, length - position);
  }
  return word;
}

// Reads 4 bytes of `text` from `position`, zero past `length` (the NUL, never read).
inline uint32_t LoadFour(const unsigned char* text, size_t position, size_t length) {
  uint32_t word = 0;
  std::memcpy(&word, text + position, length - position < 4 ? length - position : 4);
  return word;
}

// 0xFF in the first `length` bytes of a word (all of them from 8 on).
inline uint64_t HeadMask(size_t length) {
  return length >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * length)) - 1;
}

inline ScanIndex::Match ScanIndex::MatchAt(const unsigned char* text, size_t position,
                                           size_t length, uint32_t bucket) const {
  if (bucket != kNoBucket) {
    const Bucket& b = m_buckets[bucket];
    if (b.isTrie != 0) {
      const Match match = MatchTrie(b.start, text + position, length - position);
      if (match.keyword >= 0) return match;
    } else {
      // Only the keywords with the text's third byte (modulo 64) can match, then the one of two
      // bytes, which comes after them all in the table. The pair holds no NUL, so the third
      // byte is at most the NUL.
      const unsigned third = text[position + 2] & 63u;
      if ((b.thirdBytes >> third & 1) != 0) {
        const uint32_t group = b.start + Rank(b.thirdBytes & ((uint64_t{1} << third) - 1));
        const Match match = MatchList(group, text + position, length - position);
        if (match.keyword >= 0) return match;
      }
      if (b.two >= 0) return {b.two, 2, b.twoWeight};
    }
  }
  const unsigned char first = text[position];
  return {m_oneByte[first], 1, m_oneByteWeights[first]};  // slot -1 when there is none
}

// `text` starts at the position; `length` bytes remain before the NUL.
inline ScanIndex::Match ScanIndex::MatchList(uint32_t group, const unsigned char* text,
                                             size_t length) const {
  const ListEntry* entries = &m_listEntries[m_groups[group]];
  const uint32_t count = m_groups[group + 1] - m_groups[group];
  const uint64_t head = LoadEight(text, 0, length);
  // The first 8 bytes of every entry at once, without branches. Keyword bytes are never 0, so
  // a keyword that runs past the text fails this test when it is 8 bytes or shorter, and when
  // it is longer the text holds at least 8 bytes after these.
  uint64_t candidates = 0;
  for (uint32_t e = 0; e < count; ++e) {
    const uint32_t keyword_length = entries[e].keyword & ((1u << kLengthBits) - 1);
    candidates |= uint64_t{(head & HeadMask(keyword_length)) == entries[e].head} << e;
  }
  // In slot order, so the first that matches wins.
  for (; candidates != 0; candidates &= candidates - 1) {
    const ListEntry& entry = entries[__builtin_ctzll(candidates)];
    const uint32_t keyword_length = entry.keyword & ((1u << kLengthBits) - 1);
    const auto slot = static_cast<int32_t>(entry.keyword >> kLengthBits);
    if (keyword_length <= 8) return {slot, keyword_length, entry.weight};
    if ((LoadEight(text, 8, length) & HeadMask(keyword_length - 8)) == entry.next &&
        (keyword_length <= 16 ||
         (keyword_length <= length && std::memcmp(m_bytes[static_cast<size_t>(slot)] + 16,
                                                  text + 16, keyword_length - 16) == 0))) {
      return {slot, keyword_length, entry.weight};
    }
  }
  return {-1, 0, 0};
}

inline const ScanIndex::Node* ScanIndex::Child(const Node& node, unsigned char byte) const {
  if (node.childCount > kBranchPadding) {
    const unsigned char rank = m_childRanks[node.ranks + byte];
    return rank == 0 ? nullptr : &m_nodes[node.firstChild + rank - 1u];
  }
  // Eight branch bytes at a time: the lowest zero byte of the difference is the first equal one.
  const uint64_t spread = 0x0101010101010101u * byte;
  for (uint32_t i = 0; i < node.childCount; i += 8) {
    uint64_t branch;
    std::memcpy(&branch, &m_branchBytes[node.firstChild + i], 8);
    const uint64_t diff = branch ^ spread;
    const uint64_t zero = (diff - 0x0101010101010101u) & ~diff & 0x8080808080808080u;
    if (zero != 0) {
      const uint32_t at = i + static_cast<uint32_t>(__builtin_ctzll(zero) >> 3);
      return at < node.childCount ? &m_nodes[node.firstChild + at] : nullptr;
    }
  }
  return nullptr;
}

// `text` starts at the position; `length` bytes remain before the NUL.
inline ScanIndex::Match ScanIndex::MatchTrie(uint32_t root, const unsigned char* text,
                                             size_t length) const {
  const Node* node = &m_nodes[root];
  Match best = {node->keyword, node->depth, node->weight};
  size_t depth = node->depth;
  while (depth < length) {
    node = Child(*node, text[depth]);
    if (node == nullptr) break;
    // The label's bytes follow the branch byte. Label bytes are never 0, so a label that runs
    // past the text fails the masked test of its first 8 bytes.
    const size_t label_length = node->labelLength;
    if ((LoadEight(text, depth + 1, length) & HeadMask(label_length)) != node->labelHead) break;
    if (label_length > 8 &&
        (depth + 1 + label_length > length ||
         std::memcmp(node->label + 8, text + depth + 9, label_length - 8) != 0)) {
      break;
    }
    depth += 1 + label_length;
    if (node->keyword >= 0) best = {node->keyword, static_cast<uint32_t>(depth), node->weight};
  }
  return best;
}
