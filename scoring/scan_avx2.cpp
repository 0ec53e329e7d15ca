// The scan with the vector pre-test on 32 bytes at once. Compiled with -mavx2; called only when
// the processor has AVX2.
#include <immintrin.h>

#include "scoring/scan_kernel.h"

namespace {

struct Avx2Lanes {
  static constexpr size_t kWidth = 32;
  // Set membership by nibbles, as in scan_ssse3.cpp, on both 16-byte halves at once.
  static __m256i Member(const ScanIndex& index, ScanIndex::ByteSet set, __m256i bytes) {
    const __m256i low_nibbles = _mm256_and_si256(bytes, _mm256_set1_epi8(0x0F));
    const __m256i high_nibbles =
        _mm256_and_si256(_mm256_srli_epi16(bytes, 4), _mm256_set1_epi8(0x0F));
    const __m256i rows_low = _mm256_shuffle_epi8(
        _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(index.ByLow(set, 0)))),
        low_nibbles);
    const __m256i rows_high = _mm256_shuffle_epi8(
        _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(index.ByLow(set, 1)))),
        low_nibbles);
    const __m256i rows = _mm256_blendv_epi8(rows_low, rows_high, bytes);  // by the top bit
    const __m256i bit = _mm256_shuffle_epi8(
        _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16,
                         32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128),
        high_nibbles);
    return _mm256_cmpeq_epi8(_mm256_and_si256(rows, bit), bit);
  }

  static uint64_t FirstBytes(const ScanIndex& index, const unsigned char* block) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
    if (!index.SecondByteTest()) {
      return static_cast<uint32_t>(
          _mm256_movemask_epi8(Member(index, ScanIndex::kAnyFirst, bytes)));
    }
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 1));
    const __m256i may_begin =
        _mm256_or_si256(Member(index, ScanIndex::kOneByteFirst, bytes),
                        _mm256_and_si256(Member(index, ScanIndex::kLongFirst, bytes),
                                         Member(index, ScanIndex::kLongSecond, next)));
    return static_cast<uint32_t>(_mm256_movemask_epi8(may_begin));
  }
};

}  // namespace

void ScanAvx2(const ScanIndex& index, const unsigned char* text, size_t length,
              const ScanCounters& counters) {
  ScanWith<Avx2Lanes>(index, text, length, counters);
}

void ScanAvx2(const ScanIndex& index, const unsigned char* text, size_t length,
              const ScanListener& listener) {
  ScanWith<Avx2Lanes>(index, text, length, listener);
}
