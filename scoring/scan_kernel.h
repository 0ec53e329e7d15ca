// The scan's loop, shared by the builds for each instruction set (scan_portable.cpp,
// scan_ssse3.cpp, scan_avx2.cpp). The loop template has internal linkage, so that each
// translation unit keeps its own copy compiled for its own instruction set.
//
// The loop looks at the text a block of Lanes::kWidth bytes at a time: a vector test marks the
// positions where a live keyword may begin by their first byte (and, in the vector builds, the
// second: ScanIndex::ByLow); those are tested with ScanIndex::MayBegin on their first four bytes
// without branches, and only where that passes does the loop probe the index and ask it for the
// winner. After a hit it goes on
// at the first byte after the match, inside the block or beyond it. The last bytes, fewer than
// a block and three, are taken one at a time with loads cut at the NUL, so no load reaches past
// the text's NUL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "scoring/scan_index.h"
#include "scoring/vectors.h"

// Where the scan reports its hits.
struct ScanCounters {
  int32_t* points;  // the caller's points counter
  int32_t* hits;    // the caller's hit counter
};
struct ScanListener {
  void (*found)(void* context, size_t offset, int keyword);  // called per hit, in text order
  void* context;                                             // passed through
};

// The scan for each instruction set. ScanSsse3 and ScanAvx2 need a processor that has them.
void ScanPortable(const ScanIndex& index, const unsigned char* text, size_t length,
                  const ScanCounters& counters);
void ScanPortable(const ScanIndex& index, const unsigned char* text, size_t length,
                  const ScanListener& listener);
void ScanSsse3(const ScanIndex& index, const unsigned char* text, size_t length,
               const ScanCounters& counters);
void ScanSsse3(const ScanIndex& index, const unsigned char* text, size_t length,
               const ScanListener& listener);
void ScanAvx2(const ScanIndex& index, const unsigned char* text, size_t length,
              const ScanCounters& counters);
void ScanAvx2(const ScanIndex& index, const unsigned char* text, size_t length,
              const ScanListener& listener);

// Scans the NUL-terminated `text` with the build for the vectors in use (vectors.h); Sink is
// ScanCounters or ScanListener.
template <typename Sink>
void ScanActive(const ScanIndex& index, const char* text, const Sink& sink) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  const size_t length = std::strlen(text);
  switch (ActiveVectors()) {
    case Vectors::kWidest:
    case Vectors::k32:
      ScanAvx2(index, bytes, length, sink);
      break;
    case Vectors::k16:
      ScanSsse3(index, bytes, length, sink);
      break;
    case Vectors::kNone:
      ScanPortable(index, bytes, length, sink);
      break;
  }
}

namespace {

inline int32_t SaturatingAdd(int32_t a, int32_t b) {
  int32_t sum;
  if (__builtin_add_overflow(a, b, &sum)) {
    return b > 0 ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int32_t>::min();
  }
  return sum;
}

inline void Report(const ScanCounters& counters, size_t, const ScanIndex::Match& match) {
  *counters.points = SaturatingAdd(*counters.points, match.weight);
  if (*counters.hits < std::numeric_limits<int32_t>::max()) ++*counters.hits;
}

inline void Report(const ScanListener& listener, size_t offset, const ScanIndex::Match& match) {
  listener.found(listener.context, offset, match.keyword);
}

// Lanes is a vector policy: kWidth bytes a block (at most 64);
//   FirstBytes(index, block): a bit per position of the block, set at least where its byte is
//   the first byte of a live one-byte keyword, or the first byte of a longer one followed by the
//   second byte of one; it may read one byte past the block.
template <typename Lanes, typename Sink>
void ScanWith(const ScanIndex& index, const unsigned char* text, size_t length, const Sink& sink) {
  constexpr size_t kWidth = Lanes::kWidth;
  size_t p = 0;  // the block's first byte; no hit has taken it
  // Blocks while every position's first four bytes lie before the NUL.
  while (length - p >= kWidth + 3) {
    uint64_t candidates = 0;
    for (uint64_t first = Lanes::FirstBytes(index, text + p); first != 0; first &= first - 1) {
      const auto i = static_cast<unsigned>(__builtin_ctzll(first));
      uint32_t head;
      std::memcpy(&head, text + p + i, 4);
      candidates |= uint64_t{index.MayBegin(head)} << i;
    }
    size_t next = p + kWidth;
    while (candidates != 0) {
      const auto i = static_cast<size_t>(__builtin_ctzll(candidates));
      const size_t at = p + i;
      const uint32_t probe = index.Probe(text + at, length - at);
      const ScanIndex::Match match = probe == ScanIndex::kNoMatch
                                         ? ScanIndex::Match{-1, 0, 0}
                                         : index.MatchAt(text, at, length, probe);
      if (match.keyword < 0) {
        candidates &= candidates - 1;
        continue;
      }
      Report(sink, at, match);
      const size_t end = at + match.length;
      if (end >= p + kWidth) {
        next = end;
        break;
      }
      candidates &= ~uint64_t{0} << (end - p);
    }
    p = next;
  }
  while (p < length) {
    const uint32_t probe = index.InFirstSet(text[p]) && index.MayBegin(LoadFour(text, p, length))
                               ? index.Probe(text + p, length - p)
                               : ScanIndex::kNoMatch;
    if (probe != ScanIndex::kNoMatch) {
      const ScanIndex::Match match = index.MatchAt(text, p, length, probe);
      if (match.keyword >= 0) {
        Report(sink, p, match);
        p += match.length;
        continue;
      }
    }
    ++p;
  }
}

}  // namespace
