// NormalizeText on arbitrary bytes, with vectors and with the plain byte loop (the input's first
// byte chooses): the result fits, and normalizing into a separate buffer, in place, and towards
// the start of the same buffer all give the reference scoring's bytes, the bytes after the
// result's NUL included.
#include <cstring>
#include <memory>

#include "bench/reference_scoring.h"
#include "fuzz/fuzz_util.h"
#include "scoring/normalize.h"
#include "scoring/vectors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  UseVectors(data[0] % 2 == 0 ? Vectors::kWidest : Vectors::kNone);
  ++data;
  --size;
  // The text is the input up to its first NUL, in a buffer of exactly its size.
  const size_t length = strnlen(reinterpret_cast<const char*>(data), size);
  auto source = std::make_unique<char[]>(length + 1);
  std::memcpy(source.get(), data, length);
  source[length] = '\0';

  auto separate = std::make_unique<char[]>(length + 1);
  NormalizeText(source.get(), separate.get());
  const size_t result_length = std::strlen(separate.get());
  FUZZ_CHECK(result_length <= length);
  auto reference = std::make_unique<char[]>(length + 1);
  reference::NormalizeText(source.get(), reference.get());
  FUZZ_CHECK(std::strcmp(reference.get(), separate.get()) == 0);

  auto in_place = std::make_unique<char[]>(length + 1);
  auto reference_in_place = std::make_unique<char[]>(length + 1);
  std::memcpy(in_place.get(), source.get(), length + 1);
  std::memcpy(reference_in_place.get(), source.get(), length + 1);
  NormalizeText(in_place.get(), in_place.get());
  reference::NormalizeText(reference_in_place.get(), reference_in_place.get());
  FUZZ_CHECK(std::memcmp(in_place.get(), reference_in_place.get(), length + 1) == 0);

  const size_t offset = length == 0 ? 0 : data[0] % 4 + 1;
  auto shifted = std::make_unique<char[]>(offset + length + 1);
  auto reference_shifted = std::make_unique<char[]>(offset + length + 1);
  std::memset(shifted.get(), 'Z', offset);
  std::memcpy(shifted.get() + offset, source.get(), length + 1);
  std::memcpy(reference_shifted.get(), shifted.get(), offset + length + 1);
  NormalizeText(shifted.get() + offset, shifted.get());
  reference::NormalizeText(reference_shifted.get() + offset, reference_shifted.get());
  FUZZ_CHECK(std::memcmp(shifted.get(), reference_shifted.get(), offset + length + 1) == 0);
  return 0;
}
