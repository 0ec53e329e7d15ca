// The scan without vector instructions: the first-byte test a byte at a time, eight bytes a
// block. Used on processors without SSSE3, and by tests as the plainest build of the loop.
#include "scoring/scan_kernel.h"

namespace {

struct PortableLanes {
  static constexpr size_t kWidth = 8;
  static uint64_t FirstBytes(const ScanIndex& index, const unsigned char* block) {
    uint64_t bits = 0;
    for (size_t i = 0; i < kWidth; ++i) {
      bits |= uint64_t{index.InFirstSet(block[i])} << i;
    }
    return bits;
  }
};

}  // namespace

void ScanPortable(const ScanIndex& index, const unsigned char* text, size_t length,
                  const ScanCounters& counters) {
  ScanWith<PortableLanes>(index, text, length, counters);
}

void ScanPortable(const ScanIndex& index, const unsigned char* text, size_t length,
                  const ScanListener& listener) {
  ScanWith<PortableLanes>(index, text, length, listener);
}
