// NormalizeText on arbitrary bytes: the result fits, and normalizing into a separate buffer, in
// place, and towards the start of the same buffer all give the bytes of the reference scoring.
#include <cstring>
#include <memory>

#include "fuzz/fuzz_util.h"
#include "bench/reference_scoring.h"
#include "scoring/normalize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The text is the input up to its first NUL, in a buffer of exactly its size.
  const size_t length = strnlen(reinterpret_cast<const char*>(data), size);
  auto source = std::make_unique<char[]>(length + 1);
  std::memcpy(source.get(), data, length);
  source[length] = '\0';

  auto separate = std::make_unique<char[]>(length + 1);
  NormalizeText(source.get(), separate.get());
  const size_t result_length = std::strlen(separate.get());
  FUZZ_CHECK(result_length <= length);

  auto in_place = std::make_unique<char[]>(length + 1);
  std::memcpy(in_place.get(), source.get(), length + 1);
  NormalizeText(in_place.get(), in_place.get());
  FUZZ_CHECK(std::strcmp(in_place.get(), separate.get()) == 0);

  const size_t offset = length == 0 ? 0 : data[0] % 4 + 1;
  auto shifted = std::make_unique<char[]>(offset + length + 1);
  std::memcpy(shifted.get() + offset, source.get(), length + 1);
  NormalizeText(shifted.get() + offset, shifted.get());
  FUZZ_CHECK(std::strcmp(shifted.get(), separate.get()) == 0);

  auto reference = std::make_unique<char[]>(length + 1);
  reference::NormalizeText(source.get(), reference.get());
  FUZZ_CHECK(std::strcmp(reference.get(), separate.get()) == 0);

  return 0;
}
