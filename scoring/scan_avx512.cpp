// The scan in 64-keyword vectors. Compiled with -mavx512bw; called only when the processor has
// AVX-512 BW.
#include <immintrin.h>

#include "scoring/scan_kernel.h"

namespace {

struct Avx512Lanes {
  static constexpr size_t kWidth = 64;
  static __m512i Load(const unsigned char* bytes) { return _mm512_loadu_si512(bytes); }
  static uint64_t First(const ScanTable& table, size_t k, unsigned char byte) {
    return _mm512_cmpeq_epi8_mask(Load(table.first_bytes + k),
                                  _mm512_set1_epi8(static_cast<char>(byte)));
  }
  static uint64_t Both(const ScanTable& table, size_t k, unsigned char byte,
                       unsigned char second) {
    const __m512i seconds = Load(table.second_bytes + k);
    const __mmask64 second_ok =
        _mm512_cmpeq_epi8_mask(seconds, _mm512_set1_epi8(static_cast<char>(second))) |
        _mm512_cmpeq_epi8_mask(seconds, _mm512_setzero_si512());
    return _mm512_mask_cmpeq_epi8_mask(second_ok, Load(table.first_bytes + k),
                                       _mm512_set1_epi8(static_cast<char>(byte)));
  }
};

}  // namespace

void ScanAvx512(const ScanTable& table, const unsigned char* text, size_t length,
                int32_t& points, int32_t& hits) {
  ScanWith<Avx512Lanes>(table, text, length, points, hits);
}
