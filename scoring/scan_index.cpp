// Building the scan index (see scan_index.h). It runs once per load, over at most 9999 keywords:
// one sort of the keywords by their bytes, then one pass over the sorted order that finds the
// live keywords and cuts the buckets, then a list or a trie per bucket. Sorting by bytes puts
// every keyword right after the keywords that are prefixes of it and makes each bucket, and each
// subtree of a trie, a contiguous run.
#include "scoring/scan_index.h"

#include <algorithm>
#include <cassert>

namespace {

// The most second bytes with which the vector pre-test still looks at second bytes.
constexpr long kSecondBytes = 128;

struct KeywordView {
  const unsigned char* bytes;  // the keyword's bytes
  uint32_t length;             // their number
  int32_t slot;                // its slot in table order
};

// Byte order, a prefix before its extensions, and table order between identical keywords.
bool SortsBefore(const KeywordView& a, const KeywordView& b) {
  const int order = std::memcmp(a.bytes, b.bytes, std::min(a.length, b.length));
  if (order != 0) return order < 0;
  if (a.length != b.length) return a.length < b.length;
  return a.slot < b.slot;
}

// Length of the common prefix of two keywords.
uint32_t CommonPrefix(const KeywordView& a, const KeywordView& b) {
  const uint32_t limit = std::min(a.length, b.length);
  uint32_t i = 0;
  for (; i + 8 <= limit; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a.bytes + i, 8);
    std::memcpy(&y, b.bytes + i, 8);
    if (x != y) break;
  }
  while (i < limit && a.bytes[i] == b.bytes[i]) ++i;
  return i;
}

}  // namespace

std::unique_ptr<ScanIndex> ScanIndex::Build(const char* const* keywords, const uint32_t* lengths,
                                            const int32_t* weights, int count) {
  return BuildWithListLimit(keywords, lengths, weights, count, kListLimit);
}

std::unique_ptr<ScanIndex> ScanIndex::BuildWithListLimit(const char* const* keywords,
                                                         const uint32_t* lengths,
                                                         const int32_t* weights, int count,
                                                         size_t list_limit) {
  assert(count >= 0 && count < (1 << 20) && list_limit <= 64);
  std::unique_ptr<ScanIndex> index(new ScanIndex);
  const auto n = static_cast<size_t>(count);
  std::fill(std::begin(index->m_oneByte), std::end(index->m_oneByte), -1);
  std::fill(std::begin(index->m_oneByteWeights), std::end(index->m_oneByteWeights), 0);
  index->m_live.assign(n, 0);
  index->m_bytes.resize(n);
  for (size_t k = 0; k < n; ++k)
    index->m_bytes[k] = reinterpret_cast<const unsigned char*>(keywords[k]);

  std::vector<KeywordView> sorted(n);
  for (size_t k = 0; k < n; ++k) {
    assert(lengths[k] >= 1);
    sorted[k] = {reinterpret_cast<const unsigned char*>(keywords[k]), lengths[k],
                 static_cast<int32_t>(k)};
  }
  std::sort(sorted.begin(), sorted.end(), SortsBefore);

  // Live keywords. Walking the sorted order with a stack of the keywords that are prefixes of
  // the current one (each a prefix of the next), keyword k is live when every keyword on the
  // stack comes after it in the table. `earliest` holds the smallest slot on the stack so far.
  std::vector<KeywordView> live;
  live.reserve(n);
  {
    struct Open {
      KeywordView keyword;
      int32_t earliest;  // the smallest slot of this entry and those below it
    };
    std::vector<Open> stack;
    for (const KeywordView& keyword : sorted) {
      while (!stack.empty() && !(stack.back().keyword.length <= keyword.length &&
                                 std::memcmp(stack.back().keyword.bytes, keyword.bytes,
                                             stack.back().keyword.length) == 0)) {
        stack.pop_back();
      }
      const int32_t earliest_before = stack.empty() ? INT32_MAX : stack.back().earliest;
      if (keyword.slot < earliest_before) {
        index->m_live[static_cast<size_t>(keyword.slot)] = 1;
        live.push_back(keyword);
      }
      stack.push_back({keyword, std::min(earliest_before, keyword.slot)});
    }
  }

  // The pre-test's sets and the one-byte keywords.
  unsigned char seconds[256] = {};
  for (const KeywordView& keyword : live) {
    const unsigned char first = keyword.bytes[0];
    index->m_firstSet[first] = 1;
    const auto add = [&](ByteSet set, unsigned char byte) {
      index->m_byLow[set][byte >> 7][byte & 15] |=
          static_cast<unsigned char>(1u << (byte >> 4 & 7));
    };
    add(kAnyFirst, first);
    if (keyword.length == 1) {
      add(kOneByteFirst, first);
    } else {
      add(kLongFirst, first);
      add(kLongSecond, keyword.bytes[1]);
      seconds[keyword.bytes[1]] = 1;
    }
    if (keyword.length == 1) {
      index->m_oneByte[first] = keyword.slot;
      index->m_oneByteWeights[first] = weights[keyword.slot];
      for (unsigned second = 0; second < 256; ++second) {
        const unsigned pair = first | second << 8;
        index->m_shortPairs[pair >> 6] |= uint64_t{1} << (pair & 63);
      }
    } else if (keyword.length <= 3) {
      const unsigned pair = first | unsigned{keyword.bytes[1]} << 8;
      index->m_shortPairs[pair >> 6] |= uint64_t{1} << (pair & 63);
    } else {
      uint32_t head;
      std::memcpy(&head, keyword.bytes, 4);
      const uint32_t quad = (head * 0x9E3779B1u) >> (32 - kQuadBits);
      index->m_quads[quad >> 6] |= uint64_t{1} << (quad & 63);
    }
  }
  // Testing the second byte costs two more lookups a block; it pays while the second bytes are
  // few, and no longer once nearly every second byte of a text is one of them.
  index->m_secondByteTest = std::count(std::begin(seconds), std::end(seconds), 1) <= kSecondBytes;

  // The buckets: runs of live keywords of two bytes or more with the same first two bytes, in
  // pair order (b0 + 256 * b1), the order of their rank in the pair words.
  struct Run {
    unsigned pair;  // b0 + 256 * b1
    size_t begin;   // its keywords in `live`
    size_t end;
  };
  std::vector<Run> runs;
  for (size_t begin = 0; begin < live.size();) {
    if (live[begin].length == 1) {
      ++begin;
      continue;
    }
    size_t end = begin + 1;
    while (end < live.size() && live[end].length >= 2 &&
           live[end].bytes[0] == live[begin].bytes[0] &&
           live[end].bytes[1] == live[begin].bytes[1]) {
      ++end;
    }
    runs.push_back({live[begin].bytes[0] | unsigned{live[begin].bytes[1]} << 8, begin, end});
    begin = end;
  }
  std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.pair < b.pair; });
  index->m_pairBuckets.assign(65536, 0);
  index->m_buckets.reserve(runs.size() + 1);
  index->m_buckets.push_back({0, 0, 0, 0, -1, 0});  // the sentinel: nothing passes it
  for (const Run& run : runs) {
    // At most 255 * 255 pairs hold no NUL, so the numbers fit 16 bits.
    assert(index->m_buckets.size() <= UINT16_MAX);
    index->m_pairBuckets[run.pair] = static_cast<uint16_t>(index->m_buckets.size());
    const size_t begin = run.begin;
    const size_t end = run.end;
    index->m_buckets.push_back({0, 0, 0, 0, -1, 0});
    Bucket& bucket = index->m_buckets.back();
    // The keywords by the third byte modulo 64 (the group), then in table order; the keyword of
    // two bytes, if any, sorts first.
    std::vector<KeywordView> entries(live.begin() + static_cast<std::ptrdiff_t>(begin),
                                     live.begin() + static_cast<std::ptrdiff_t>(end));
    const auto group_of = [](const KeywordView& k) { return k.length == 2 ? -1 : k.bytes[2] & 63; };
    std::sort(entries.begin(), entries.end(), [&](const KeywordView& a, const KeywordView& b) {
      return group_of(a) != group_of(b) ? group_of(a) < group_of(b) : a.slot < b.slot;
    });
    bool short_keywords = true;
    size_t largest_group = 0;
    for (size_t k = 0; k < entries.size();) {
      size_t group_end = k + 1;
      while (group_end < entries.size() && group_of(entries[group_end]) == group_of(entries[k])) {
        ++group_end;
      }
      largest_group = std::max(largest_group, group_end - k);
      for (size_t i = k; i < group_end; ++i) {
        short_keywords = short_keywords && entries[i].length <= kListLength;
      }
      if (entries[k].length > 2) bucket.thirdBytes |= uint64_t{1} << group_of(entries[k]);
      k = group_end;
    }
    // A keyword of two bytes needs no third byte.
    bucket.filter = entries[0].length == 2 ? ~uint64_t{0} : bucket.thirdBytes;

    if (largest_group <= list_limit && short_keywords) {
      // Lists: one per group.
      size_t k = 0;
      if (entries[0].length == 2) {
        bucket.two = entries[0].slot;
        bucket.twoWeight = weights[entries[0].slot];
        k = 1;
      }
      bucket.start = static_cast<uint32_t>(index->m_groups.size());
      for (; k < entries.size(); ++k) {
        if (k == 0 || group_of(entries[k]) != group_of(entries[k - 1])) {
          index->m_groups.push_back(static_cast<uint32_t>(index->m_listEntries.size()));
        }
        const KeywordView& entry = entries[k];
        uint64_t head = 0, next = 0;
        std::memcpy(&head, entry.bytes, std::min<size_t>(entry.length, 8));
        if (entry.length > 8) {
          std::memcpy(&next, entry.bytes + 8, std::min<size_t>(entry.length - 8, 8));
        }
        index->m_listEntries.push_back(
            {head, next, weights[entry.slot],
             static_cast<uint32_t>(entry.slot) << kLengthBits | entry.length});
      }
    } else {
      bucket.isTrie = 1;
      // A trie over the sorted run. Each open node covers a run of keywords that share its
      // first `depth` bytes; its children are made together, so that they lie side by side.
      const auto root = static_cast<uint32_t>(index->m_nodes.size());
      bucket.start = root;
      index->m_nodes.push_back({0, live[begin].bytes + 2, 0, -1, 0, 2, 0, 0, 0});
      index->m_branchBytes.push_back(live[begin].bytes[1]);
      struct Open {
        uint32_t node;  // the node in m_nodes
        size_t begin;   // its run in `live`
        size_t end;
      };
      std::vector<Open> open = {{root, begin, end}};
      while (!open.empty()) {
        const Open o = open.back();
        open.pop_back();
        const uint32_t depth = index->m_nodes[o.node].depth;
        size_t next = o.begin;
        if (live[next].length == depth) {  // the one keyword that ends here sorts first
          index->m_nodes[o.node].keyword = live[next].slot;
          index->m_nodes[o.node].weight = weights[live[next].slot];
          ++next;
        }
        // One child per distinct byte at `depth`.
        const auto first_child = static_cast<uint32_t>(index->m_nodes.size());
        uint32_t children = 0;
        while (next < o.end) {
          const unsigned char branch = live[next].bytes[depth];
          size_t run_end = next + 1;
          while (run_end < o.end && live[run_end].bytes[depth] == branch) ++run_end;
          const uint32_t child_depth = CommonPrefix(live[next], live[run_end - 1]);
          const unsigned char* label = live[next].bytes + depth + 1;
          const uint32_t label_length = child_depth - depth - 1;
          uint64_t label_head = 0;
          std::memcpy(&label_head, label, std::min<size_t>(label_length, 8));
          index->m_nodes.push_back({label_head, label, 0, -1, 0, static_cast<uint16_t>(child_depth),
                                    static_cast<uint16_t>(label_length), 0, 0});
          index->m_branchBytes.push_back(branch);
          open.push_back({first_child + children, next, run_end});
          ++children;
          next = run_end;
        }
        Node& node = index->m_nodes[o.node];
        node.firstChild = first_child;
        node.childCount = static_cast<uint16_t>(children);
        if (children > kBranchPadding) {
          node.ranks = static_cast<uint32_t>(index->m_childRanks.size());
          index->m_childRanks.resize(index->m_childRanks.size() + 256, 0);
          for (uint32_t c = 0; c < children; ++c) {
            index->m_childRanks[node.ranks + index->m_branchBytes[first_child + c]] =
                static_cast<unsigned char>(c + 1);
          }
        }
      }
    }
  }
  index->m_branchBytes.resize(index->m_branchBytes.size() + kBranchPadding, 0);
  index->m_groups.push_back(static_cast<uint32_t>(index->m_listEntries.size()));  // the end
  return index;
}

size_t ScanIndex::Bytes() const {
  return sizeof(ScanIndex) + m_pairBuckets.capacity() * sizeof(uint16_t) +
         m_buckets.capacity() * sizeof(Bucket) + m_groups.capacity() * sizeof(uint32_t) +
         m_listEntries.capacity() * sizeof(ListEntry) + m_bytes.capacity() * sizeof(void*) +
         m_nodes.capacity() * sizeof(Node) + m_branchBytes.capacity() + m_childRanks.capacity() +
         m_live.capacity();
}
