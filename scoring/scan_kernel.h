// The scan's inner loop, shared by the builds for each instruction set (scan_sse2.cpp,
// scan_avx2.cpp, scan_avx512.cpp). The kernel template has internal linkage, so that each
// translation unit keeps its own copy compiled for its own instruction set.
//
// At each position of the text the scan searches the first-byte set for the position's byte.
// When the byte is there, it walks the keywords in table order from the first one that begins
// with that byte. The walk compares each keyword's first two bytes with the text's (a keyword of
// one byte has the second byte 0, which matches any) a whole vector of keywords at a time; a
// keyword that passes gets the full comparison of its remaining bytes, bounded by the text's
// remaining length: first its first four bytes at once, then the rest. The first keyword in table
// order that matches is the hit.
//
// Both searches run over copies of the first and second bytes that are padded with zero bytes
// past the last keyword, so a vector never needs a scalar tail: a text byte at a scanned
// position is never 0, so padding never matches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

// What the scan reads of the keyword table.
struct ScanTable {
  const unsigned char* first_bytes;   // first byte of each keyword, then zero padding
  const unsigned char* second_bytes;  // second byte of each keyword (0: none), then padding
  const char* const* bytes;           // each keyword's bytes
  const uint32_t* prefixes;           // each keyword's first four bytes (zero past its end)
  const uint32_t* prefix_masks;       // 0xFF in each byte of the prefix that the keyword has
  const size_t* lengths;              // each keyword's length, at least 1
  const int32_t* weights;             // each keyword's weight, at least 1
  size_t count;                       // number of keywords
};

// Zero bytes that follow the last keyword in the padded byte sets: the widest vector.
inline constexpr size_t kScanPadding = 64;

// The scan for each instruction set. ScanAvx2 and ScanAvx512 need a processor that has them.
void ScanSse2(const ScanTable& table, const unsigned char* text, size_t length, int32_t& points,
              int32_t& hits);
void ScanAvx2(const ScanTable& table, const unsigned char* text, size_t length, int32_t& points,
              int32_t& hits);
void ScanAvx512(const ScanTable& table, const unsigned char* text, size_t length,
                int32_t& points, int32_t& hits);

namespace {

inline int32_t SaturatingAdd(int32_t a, int32_t b) {
  int32_t sum;
  if (__builtin_add_overflow(a, b, &sum)) {
    return b > 0 ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int32_t>::min();
  }
  return sum;
}

// Lanes is a vector policy: kWidth keywords a step, and two matchers returning a bit per lane,
//   First(table, k, byte): lanes whose first byte is `byte`;
//   Both(table, k, byte, second): lanes whose first byte is `byte` and whose second byte is
//   `second` or 0.
template <typename Lanes>
size_t FindFirstByte(const ScanTable& table, unsigned char byte) {
  for (size_t k = 0; k < table.count; k += Lanes::kWidth) {
    if (const uint64_t bits = Lanes::First(table, k, byte); bits != 0) {
      return k + static_cast<size_t>(__builtin_ctzll(bits));
    }
  }
  return table.count;
}

template <typename Lanes>
size_t FindCandidate(const ScanTable& table, size_t k, unsigned char byte, unsigned char second) {
  for (; k < table.count; k += Lanes::kWidth) {
    if (const uint64_t bits = Lanes::Both(table, k, byte, second); bits != 0) {
      return k + static_cast<size_t>(__builtin_ctzll(bits));
    }
  }
  return table.count;
}

template <typename Lanes>
void ScanWith(const ScanTable& table, const unsigned char* text, size_t length, int32_t& points,
              int32_t& hits) {
  size_t p = 0;
  while (p < length) {
    const unsigned char byte = text[p];
    // The pre-test: is the byte in the first-byte set at all?
    const size_t first = FindFirstByte<Lanes>(table, byte);
    if (first < table.count) {
      const size_t remaining = length - p;
      const unsigned char second = text[p + 1];  // the NUL when p is the last byte
      // The text's next four bytes, zero past its end (never read).
      uint32_t head = 0;
      std::memcpy(&head, text + p, remaining < 4 ? remaining : 4);
      for (size_t k = FindCandidate<Lanes>(table, first, byte, second); k < table.count;
           k = FindCandidate<Lanes>(table, k + 1, byte, second)) {
        const size_t keyword_length = table.lengths[k];
        if (keyword_length <= remaining && (head & table.prefix_masks[k]) == table.prefixes[k] &&
            (keyword_length <= 4 ||
             std::memcmp(table.bytes[k] + 4, text + p + 4, keyword_length - 4) == 0)) {
          p += keyword_length - 1;
          points = SaturatingAdd(points, table.weights[k]);
          if (hits < std::numeric_limits<int32_t>::max()) ++hits;
          break;
        }
      }
    }
    ++p;
  }
}

}  // namespace
