// The reference scoring: the normalization, the scan and the message scoring written the plain
// way, step by step, with nothing made fast.
//
// It is the yardstick of the real scoring core in two places: the differential test feeds both
// the same random tables and texts and requires identical bytes, hits and points, and the
// benchmark measures how much faster the real one is. Keep it dull: a 239-entry linear lookup
// (over its own copy of the conversion table, typed in separately so that a wrong entry in
// either copy shows up), the whole first-byte set searched with strchr at every position, then
// every keyword tried in table order, first byte first, then strncmp.
//
//   KeywordTable table;  // loaded
//   Score score = reference::ScoreMessage(table, body, title);
#pragma once

#include <cstdint>

#include "scoring/keyword_table.h"

namespace reference {

// Same contract as ::NormalizeText: writes the normalized form of `source` to `destination`
// (the same buffer, a separate one, or one that starts before `source`) and returns it.
// A lead byte directly before the NUL is copied unchanged.
// REQUIRES: `source` is NUL-terminated; `destination` has room for strlen(source) + 1 bytes.
char* NormalizeText(const char* source, char* destination);

// Same contract as KeywordTable::ScanText, over `table`'s slots, weights and first-byte set.
// Counters saturate at the limits of int32_t.
int32_t ScanText(const KeywordTable& table, const char* text, int32_t& points, int32_t& hits);

// Same contract as KeywordTable::ScoreMessage.
// REQUIRES: both are writable NUL-terminated texts.
Score ScoreMessage(const KeywordTable& table, char* body, char* title);

}  // namespace reference
