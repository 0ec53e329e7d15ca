// Cutting code-page-932 texts at character boundaries. Runs for every field of every message
// that the host delivers, so the common case (the text fits) does no walking at all.
#include "orvanhost/text_field.h"

#include <cassert>
#include <cstring>

#include "scoring/normalize.h"

size_t CharacterBoundaryPrefix(const char* text, size_t length, size_t limit) {
  if (length <= limit) return length;
  // Only a walk from the start tells lead bytes from second bytes.
  size_t boundary = 0;
  while (boundary < limit) {
    const size_t step = IsLeadByte(static_cast<unsigned char>(text[boundary])) ? 2 : 1;
    if (boundary + step > limit) break;
    boundary += step;
  }
  return boundary;
}

size_t CopyTextField(char* field, size_t field_size, const char* source, size_t length,
                     size_t max_text) {
  assert(field_size >= 1);
  if (const void* nul = std::memchr(source, '\0', length); nul != nullptr) {
    length = static_cast<size_t>(static_cast<const char*>(nul) - source);
  }
  size_t limit = field_size - 1;
  if (max_text < limit) limit = max_text;
  const size_t copied = CharacterBoundaryPrefix(source, length, limit);
  if (copied > 0) std::memcpy(field, source, copied);
  field[copied] = '\0';
  return copied;
}
