// The keyword table: the weighted keyword list, loaded once from "orvan.key", scanned for every
// new message, released when the main window is destroyed.
//
// Invariants, which the load establishes and nothing else changes:
//   1. Slots 0..n-1 of m_pKeywords hold the n keywords in file order, each normalized, non-empty
//      and free of NUL; slot n is empty (so n <= kMaxKeywords).
//   2. m_nWeights[k] >= 1 for every filled slot k.
//   3. m_szFirstBytes holds the first byte of each keyword in slot order, then a NUL, so its
//      length is n.
//
//   KeywordTable table;
//   if (table.LoadKeywordFile() > 0) {
//     Score score = table.ScoreMessage(body, title);
//   }
//
// Not copyable: it owns its keyword strings. One thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/cstring.h"
#include "scoring/module_path.h"

// A message's score: keyword occurrences and the sum of their weights. Both saturate at the
// limits of a signed 32-bit integer instead of overflowing.
struct Score {
  int32_t hits = 0;    // keyword occurrences
  int32_t points = 0;  // sum of the weights of the occurrences
};

class KeywordTable {
 public:
  static constexpr int kSlots = 10000;
  static constexpr int kMaxKeywords = kSlots - 1;
  static constexpr int kPathSize = 256;  // bytes for a path, NUL included

  KeywordTable();  // every slot empty, first-byte set empty
  ~KeywordTable();
  KeywordTable(const KeywordTable&) = delete;
  KeywordTable& operator=(const KeywordTable&) = delete;

  // Loads "orvan.key" from the running executable's directory. Returns the number of keywords
  // stored; 0 when the executable's path cannot be had, the path does not fit, the file cannot
  // be opened, or no line holds a field.
  // REQUIRES: the table is empty (called once).
  int LoadKeywordFile();

  // Loads the keyword list at `path`, with the same rules. Returns the number stored.
  // REQUIRES: the table is empty.
  int LoadKeywordFileFrom(const char* path);
  // The same, opening `path` once (so a FIFO or a process substitution works), and telling why
  // nothing was loaded: `*error_number` becomes 0 when the file was read to its end (or its
  // 0x1A), else the errno of the failed open or read. A read error stores no keyword at all and
  // returns 0: a list cut short would score messages against part of the keywords.
  int LoadKeywordFileFrom(const char* path, int* error_number);

  // Frees every keyword string and sets all slots empty. Weights and first-byte set stay.
  void ReleaseKeywords();

  // Scans a normalized text; adds one to `hits` and the weight to `points` for each occurrence
  // (leftmost first, first keyword in table order at a position, never overlapping). Returns the
  // points counter's whole value. A null text changes nothing.
  int32_t ScanText(const char* text, int32_t& points, int32_t& hits) const;

  // Normalizes body and title in place, then scans body, then title, into one fresh score.
  // REQUIRES: both are writable NUL-terminated texts.
  Score ScoreMessage(char* body, char* title) const;

  int Count() const;  // number of keywords loaded (the length of the first-byte set)

  // Lines holding a field that the last load had to ignore because the table was full.
  int IgnoredLines() const { return m_nIgnoredLines; }

  // Which vector width the scan uses. kWidest picks the widest the processor has; tests force
  // the narrower ones to check each. Affects every table in the process.
  enum class ScanVectors { kWidest, k32, k16 };
  static void UseScanVectors(ScanVectors vectors);

  CString* m_pKeywords[kSlots];  // owned keyword strings, filled from slot 0, then empty
  int32_t m_nWeights[kSlots];    // weight of the keyword in the same slot; >= 1 when filled
  char m_szFirstBytes[kSlots];   // first byte of each keyword in slot order, NUL-terminated

 private:
  // Kept beside the slots by the load, in slot order, so that the scan compares a keyword's
  // first two bytes a vector at a time and reaches its bytes without the string object. The
  // byte sets are padded with zero bytes for the widest vector.
  static constexpr size_t kPaddedSlots = kSlots + 64;
  int m_nCount = 0;                            // keywords loaded: the length of m_szFirstBytes
  int m_nIgnoredLines = 0;                     // keyword lines past the capacity at the last load
  const char* m_pBytes[kSlots];                // each keyword's bytes, owned by its slot's string
  size_t m_nLengths[kSlots];                   // each keyword's length in bytes
  uint32_t m_nPrefixes[kSlots];                // each keyword's first four bytes, zero-filled
  uint32_t m_nPrefixMasks[kSlots];             // 0xFF in each prefix byte the keyword has
  unsigned char m_firstBytes[kPaddedSlots];    // the first-byte set, then zero padding
  unsigned char m_secondBytes[kPaddedSlots];   // each keyword's second byte (0: one byte long)
};

// Forms the path of "orvan.key" from the executable's path, written in `convention`:
//   kCodePage932: the drive ("X:" when the second byte is a colon), the directory up to and
//     including the last '\' or '/' (walked with the lead-byte test, so that a second byte 0x5C
//     is never a separator), then "\orvan.key";
//   kUtf8: the directory up to and including the last '/', then "/orvan.key".
// The directory keeps its own trailing separator, so two stand before the file name. A path
// without a separator gives an empty directory. Returns false when the result would not fit in
// `out`'s KeywordTable::kPathSize bytes.
[[nodiscard]] bool FormKeywordFilePath(const char* executable_path, PathConvention convention,
                                       char (&out)[KeywordTable::kPathSize]);

// The same in the convention of this platform's executable paths (kModulePathConvention).
[[nodiscard]] bool FormKeywordFilePath(const char* executable_path,
                                       char (&out)[KeywordTable::kPathSize]);

// The path of "orvan.key" beside the running executable, as LoadKeywordFile forms it. Returns
// false when the executable's path cannot be had or the result does not fit.
[[nodiscard]] bool DefaultKeywordFilePath(char (&out)[KeywordTable::kPathSize]);
