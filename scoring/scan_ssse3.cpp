// The scan with the vector pre-test on 16 bytes at once. Compiled with -mssse3; called only when
// the processor has SSSE3.
#include <tmmintrin.h>

#include "scoring/scan_kernel.h"

namespace {

struct Ssse3Lanes {
  static constexpr size_t kWidth = 16;
  // Set membership by nibbles: the low nibble picks a row of eight bits from one of two tables
  // (high nibbles 0-7, 8-15), the high nibble picks the bit.
  static __m128i Member(const ScanIndex& index, ScanIndex::ByteSet set, __m128i bytes) {
    const __m128i low_nibbles = _mm_and_si128(bytes, _mm_set1_epi8(0x0F));
    const __m128i high_nibbles = _mm_and_si128(_mm_srli_epi16(bytes, 4), _mm_set1_epi8(0x0F));
    const __m128i rows_low = _mm_shuffle_epi8(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(index.ByLow(set, 0))), low_nibbles);
    const __m128i rows_high = _mm_shuffle_epi8(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(index.ByLow(set, 1))), low_nibbles);
    const __m128i upper_half = _mm_cmplt_epi8(bytes, _mm_setzero_si128());  // byte >= 0x80
    const __m128i rows =
        _mm_or_si128(_mm_andnot_si128(upper_half, rows_low), _mm_and_si128(upper_half, rows_high));
    const __m128i bit = _mm_shuffle_epi8(
        _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128), high_nibbles);
    return _mm_cmpeq_epi8(_mm_and_si128(rows, bit), bit);
  }

  static uint64_t FirstBytes(const ScanIndex& index, const unsigned char* block) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    if (!index.SecondByteTest()) {
      return static_cast<uint32_t>(_mm_movemask_epi8(Member(index, ScanIndex::kAnyFirst, bytes)));
    }
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 1));
    const __m128i may_begin =
        _mm_or_si128(Member(index, ScanIndex::kOneByteFirst, bytes),
                     _mm_and_si128(Member(index, ScanIndex::kLongFirst, bytes),
                                   Member(index, ScanIndex::kLongSecond, next)));
    return static_cast<uint32_t>(_mm_movemask_epi8(may_begin));
  }
};

}  // namespace

void ScanSsse3(const ScanIndex& index, const unsigned char* text, size_t length,
               const ScanCounters& counters) {
  ScanWith<Ssse3Lanes>(index, text, length, counters);
}

void ScanSsse3(const ScanIndex& index, const unsigned char* text, size_t length,
               const ScanListener& listener) {
  ScanWith<Ssse3Lanes>(index, text, length, listener);
}
