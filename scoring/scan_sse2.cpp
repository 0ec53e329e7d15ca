// The scan in 16-keyword vectors (SSE2, present on every x86-64 processor).
#include <emmintrin.h>

#include "scoring/scan_kernel.h"

namespace {

struct Sse2Lanes {
  static constexpr size_t kWidth = 16;
  static __m128i Load(const unsigned char* bytes) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  }
  static uint64_t First(const ScanTable& table, size_t k, unsigned char byte) {
    const __m128i match = _mm_cmpeq_epi8(Load(table.first_bytes + k),
                                         _mm_set1_epi8(static_cast<char>(byte)));
    return static_cast<uint32_t>(_mm_movemask_epi8(match));
  }
  static uint64_t Both(const ScanTable& table, size_t k, unsigned char byte,
                       unsigned char second) {
    const __m128i seconds = Load(table.second_bytes + k);
    const __m128i second_ok = _mm_or_si128(
        _mm_cmpeq_epi8(seconds, _mm_set1_epi8(static_cast<char>(second))),
        _mm_cmpeq_epi8(seconds, _mm_setzero_si128()));
    const __m128i match = _mm_and_si128(
        _mm_cmpeq_epi8(Load(table.first_bytes + k), _mm_set1_epi8(static_cast<char>(byte))),
        second_ok);
    return static_cast<uint32_t>(_mm_movemask_epi8(match));
  }
};

}  // namespace

void ScanSse2(const ScanTable& table, const unsigned char* text, size_t length, int32_t& points,
              int32_t& hits) {
  ScanWith<Sse2Lanes>(table, text, length, points, hits);
}
