// Filling a record's text field with a code-page-932 text that may be longer than the field.
//
// The host writes every text NUL-terminated and never past its field; a text that does not fit
// is cut at a character boundary, never between the two bytes of a two-byte character.
#pragma once

#include <cstddef>

// Copies the text `source` of `length` bytes into `field` of `field_size` bytes: the longest
// prefix that ends on a character boundary, holds at most `max_text` bytes and leaves room for
// the NUL, and then a NUL. A NUL inside `source` ends the text there. Bytes of `field` after the
// NUL are left as they were. Returns the number of text bytes written.
// REQUIRES: field_size >= 1.
size_t CopyTextField(char* field, size_t field_size, const char* source, size_t length,
                     size_t max_text = static_cast<size_t>(-1));

// The length of the longest prefix of `text` (`length` bytes) that is at most `limit` bytes and
// ends on a code-page-932 character boundary.
[[nodiscard]] size_t CharacterBoundaryPrefix(const char* text, size_t length, size_t limit);
