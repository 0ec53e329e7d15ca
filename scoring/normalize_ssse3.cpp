// NormalizeText's block pass with SSSE3 (see normalize_blocks.h).
//
// A block of 64 source bytes, starting at a character boundary, is classified with vector
// compares into bit masks: lead-range bytes, a-z, and the lead bytes 0x81-0x83 that begin every
// convertible character. Which lead-range bytes begin characters and which are second bytes
// follows from the masks with one subtraction: in a run of lead-range bytes that begins a
// character, every second byte is a second byte, and the byte after a run of odd length is one
// too. Then a-z that are not second bytes become A-Z with one vector subtraction; each
// character with a lead byte 0x81-0x83 is looked up in the fold table; a converted character
// keeps its folded byte in the lead byte's place and its second byte is dropped. Eight bytes at
// a time, a shuffle packs the kept bytes together for the write. A character cut by the block's
// end is read before the block is written and written after it, and the next block begins after
// it.
#include <tmmintrin.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "scoring/normalize_blocks.h"

namespace {

constexpr uint64_t kOddBits = 0xAAAAAAAAAAAAAAAAu;  // bits 1, 3, 5, ...
constexpr size_t kBlock = 64;
constexpr size_t kTailReserve = 16;  // source bytes left to the byte loop at least

// For each 8-bit keep mask: the shuffle that packs the kept bytes of 8 to the front, and how
// many they are.
struct Pack {
  std::array<std::array<unsigned char, 8>, 256> shuffle;
  std::array<unsigned char, 256> count;
};

constexpr Pack BuildPack() {
  Pack pack{};
  for (unsigned keep = 0; keep < 256; ++keep) {
    unsigned n = 0;
    for (unsigned i = 0; i < 8; ++i) {
      if ((keep >> i & 1) != 0) pack.shuffle[keep][n++] = static_cast<unsigned char>(i);
    }
    pack.count[keep] = static_cast<unsigned char>(n);
    for (; n < 8; ++n) pack.shuffle[keep][n] = 0x80;  // zero
  }
  return pack;
}
constexpr Pack kPack = BuildPack();

// 0xFF in each byte from `low` to `high`.
__m128i InRange(__m128i bytes, unsigned char low, unsigned char high) {
  const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8(static_cast<char>(low)));
  return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(static_cast<char>(high - low))), offset);
}

uint64_t Bits(__m128i mask) { return static_cast<uint16_t>(_mm_movemask_epi8(mask)); }

// 0xFF in byte i when bit i of the 16-bit `bits` is set.
__m128i Expand(uint64_t bits) {
  const __m128i spread =
      _mm_shuffle_epi8(_mm_set1_epi16(static_cast<short>(bits)),
                       _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1));
  const __m128i select = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
  return _mm_cmpeq_epi8(_mm_and_si128(spread, select), select);
}

}  // namespace

BlockProgress NormalizeBlocksSsse3(const unsigned char* in, size_t length, unsigned char* out,
                                   const std::array<unsigned char, 256>* fold) {
  size_t read = 0;
  size_t written = 0;
  while (length - read >= kBlock + kTailReserve) {
    __m128i bytes[4];
    uint64_t lead = 0, lower = 0, kana = 0;
    for (int i = 0; i < 4; ++i) {
      bytes[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + read + 16 * i));
      const __m128i leads =
          _mm_or_si128(InRange(bytes[i], 0x81, 0x9F), InRange(bytes[i], 0xE0, 0xFC));
      lead |= Bits(leads) << (16 * i);
      lower |= Bits(InRange(bytes[i], 'a', 'z')) << (16 * i);
      kana |= Bits(InRange(bytes[i], 0x81, 0x83)) << (16 * i);
    }
    // codes: lead-range bytes at even offsets within their run, and the byte after an odd run.
    const uint64_t codes = (((lead << 1) | kOddBits) - lead) ^ kOddBits;
    const uint64_t second = codes ^ lead;  // second bytes of two-byte characters
    const uint64_t starts = codes & lead;  // lead bytes that begin a character

    // A character cut by the block's end is taken whole, after the block: its two bytes are
    // read now, before any write can reach them.
    const bool cut = (starts >> 63) != 0;
    const unsigned char cut_lead = in[read + kBlock - 1];
    const unsigned char cut_second = cut ? in[read + kBlock] : 0;
    uint64_t drop = cut ? uint64_t{1} << 63 : 0;  // bytes of the block not written

    alignas(16) unsigned char block[kBlock];
    const uint64_t upper = lower & ~second;
    for (int i = 0; i < 4; ++i) {
      const __m128i minus = _mm_and_si128(Expand(upper >> (16 * i)), _mm_set1_epi8(0x20));
      _mm_store_si128(reinterpret_cast<__m128i*>(block + 16 * i), _mm_sub_epi8(bytes[i], minus));
    }

    // Without a branch on whether a character converts, which kana and kanji make
    // unpredictable.
    for (uint64_t convert = starts & kana & ~drop; convert != 0; convert &= convert - 1) {
      const auto at = static_cast<unsigned>(__builtin_ctzll(convert));
      const unsigned folded = fold[block[at] - 0x81][block[at + 1]];
      const unsigned kept = 0u - unsigned{folded == 0};  // all ones when not converted
      block[at] = static_cast<unsigned char>(folded | (block[at] & kept));
      drop |= uint64_t{folded != 0} << (at + 1);
    }

    unsigned char* to = out + written;
    if (drop == 0) {
      std::memcpy(to, block, kBlock);
      to += kBlock;
    } else {
      for (size_t chunk = 0; chunk < kBlock; chunk += 8) {
        const unsigned keep = ~static_cast<unsigned>(drop >> chunk) & 0xFF;
        const __m128i bytes8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(block + chunk));
        const __m128i order =
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kPack.shuffle[keep].data()));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_shuffle_epi8(bytes8, order));
        to += kPack.count[keep];
      }
    }
    if (cut) {
      const unsigned char folded =
          cut_lead >= 0x81 && cut_lead <= 0x83 ? fold[cut_lead - 0x81][cut_second] : 0;
      if (folded != 0) {
        *to++ = folded;
      } else {
        *to++ = cut_lead;
        *to++ = cut_second;
      }
    }
    written = static_cast<size_t>(to - out);
    read += cut ? kBlock + 1 : kBlock;
  }
  return {read, written};
}
