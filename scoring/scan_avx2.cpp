// The scan in 32-keyword vectors. Compiled with -mavx2; called only when the processor has AVX2.
#include <immintrin.h>

#include "scoring/scan_kernel.h"

namespace {

struct Avx2Lanes {
  static constexpr size_t kWidth = 32;
  static __m256i Load(const unsigned char* bytes) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
  }
  static uint64_t First(const ScanTable& table, size_t k, unsigned char byte) {
    const __m256i match = _mm256_cmpeq_epi8(Load(table.first_bytes + k),
                                            _mm256_set1_epi8(static_cast<char>(byte)));
    return static_cast<uint32_t>(_mm256_movemask_epi8(match));
  }
  static uint64_t Both(const ScanTable& table, size_t k, unsigned char byte,
                       unsigned char second) {
    const __m256i seconds = Load(table.second_bytes + k);
    const __m256i second_ok = _mm256_or_si256(
        _mm256_cmpeq_epi8(seconds, _mm256_set1_epi8(static_cast<char>(second))),
        _mm256_cmpeq_epi8(seconds, _mm256_setzero_si256()));
    const __m256i match = _mm256_and_si256(
        _mm256_cmpeq_epi8(Load(table.first_bytes + k), _mm256_set1_epi8(static_cast<char>(byte))),
        second_ok);
    return static_cast<uint32_t>(_mm256_movemask_epi8(match));
  }
};

}  // namespace

void ScanAvx2(const ScanTable& table, const unsigned char* text, size_t length, int32_t& points,
              int32_t& hits) {
  ScanWith<Avx2Lanes>(table, text, length, points, hits);
}
