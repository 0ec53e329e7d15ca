// The vector part of NormalizeText (normalize.cpp), kept in its own translation unit so that it
// can be compiled for SSSE3 and chosen at run time.
#pragma once

#include <array>
#include <cstddef>

// How far a block pass got.
struct BlockProgress {
  size_t read;     // source bytes consumed, always up to a character boundary
  size_t written;  // bytes written to the destination
};

// Normalizes the source `in`, whose NUL is at `length`, 64 or 65 bytes a block (a block ends at
// a character's end) into `out`, while at least 80 bytes remain; the rest is left to the
// caller's byte loop. `fold[lead - 0x81][second]` is the byte the two-byte character lead,
// second becomes, or 0.
// Every write lands within 65 bytes after `out + written`, `written <= read` before each block,
// and a block's bytes are all read before it writes, so normalizing in place or towards the
// start of the same buffer is safe. Bytes written past the final `written` (at most 7) are
// overwritten by what the caller's loop writes for the last 15 or more source bytes (each two
// give at least one), so nothing lands after the result's NUL that the byte loop would not
// have left there.
// REQUIRES: the processor has SSSE3.
BlockProgress NormalizeBlocksSsse3(const unsigned char* in, size_t length, unsigned char* out,
                                   const std::array<unsigned char, 256>* fold);
