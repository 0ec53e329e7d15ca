// The keyword table: its load from the keyword list file, its release, and the scan.
//
// The scan is the hot path of the check run: it runs over every byte of every new message.
// It keeps the plain structure of the table: at each position a linear search of the first-byte
// set, and then a walk of the keywords in table order, first bytes compared before the full
// comparison (scan_kernel.h). The full comparison is bounded by the text's known remaining
// length, so nothing past the text's NUL is read.
#include "scoring/keyword_table.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>

#include "scoring/module_path.h"
#include "scoring/normalize.h"
#include "scoring/scan_kernel.h"
#include "scoring/text_file.h"

namespace {

constexpr size_t kLineBufferSize = 4096;  // a piece: 4095 bytes and a NUL
// The file name appended to the directory, with a separator of the path's convention.
constexpr char kKeywordFileNameCp932[] = "\\orvan.key";
constexpr char kKeywordFileNameUtf8[] = "/orvan.key";

// The widest vectors of keywords that this processor can compare.
KeywordTable::ScanVectors WidestVectors() {
  if (__builtin_cpu_supports("avx512bw")) return KeywordTable::ScanVectors::kWidest;
  if (__builtin_cpu_supports("avx2")) return KeywordTable::ScanVectors::k32;
  return KeywordTable::ScanVectors::k16;
}

// The vectors the scan uses; see KeywordTable::UseScanVectors.
KeywordTable::ScanVectors g_scan_vectors = WidestVectors();

bool IsSeparator(char c) { return c == '\t' || c == '\r' || c == '\n'; }

// Skips separators; returns the start of the next field, or null when only separators (or
// nothing) remain before the NUL.
char* FindField(char* p) {
  while (IsSeparator(*p)) ++p;
  return *p == '\0' ? nullptr : p;
}

// Reads the decimal value at the start of a weight field: blanks (space, 0x0B, 0x0C) skipped,
// one optional sign, then digits accumulated in wrapping 32-bit arithmetic. No digits give 0.
int32_t ParseWeight(const char* p) {
  while (*p == ' ' || *p == '\v' || *p == '\f') ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  uint32_t value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10u + static_cast<uint32_t>(*p - '0');
    ++p;
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

}  // namespace

KeywordTable::KeywordTable() {
  for (CString*& slot : m_pKeywords) slot = nullptr;
  m_szFirstBytes[0] = '\0';
}

KeywordTable::~KeywordTable() { ReleaseKeywords(); }

int KeywordTable::LoadKeywordFile() {
  char path[kPathSize];
  if (!DefaultKeywordFilePath(path)) return 0;
  return LoadKeywordFileFrom(path);
}

int KeywordTable::LoadKeywordFileFrom(const char* path) {
  int error_number = 0;
  return LoadKeywordFileFrom(path, &error_number);
}

int KeywordTable::LoadKeywordFileFrom(const char* path, int* error_number) {
  assert(m_nCount == 0 && m_pKeywords[0] == nullptr);
  m_nIgnoredLines = 0;
  *error_number = 0;
  TextFile file;
  if (path == nullptr) return 0;
  if (!file.Open(path)) {
    *error_number = file.ErrorNumber();
    return 0;
  }

  int n = 0;
  char line[kLineBufferSize];
  while (file.ReadPiece(line, sizeof line)) {
    char* keyword = FindField(line);
    if (keyword == nullptr) continue;
    char* end = keyword;
    while (*end != '\0' && !IsSeparator(*end)) ++end;
    char* rest = end;
    if (*end != '\0') {
      *end = '\0';
      ++rest;
    }
    if (n >= kMaxKeywords) {  // no room: the slot after the last keyword must stay empty
      ++m_nIgnoredLines;
      continue;
    }
    // The normalized keyword is never longer than the field, so writing it at the start of the
    // line buffer leaves `rest` intact.
    NormalizeText(keyword, line);
    m_pKeywords[n] = new CString(line);
    m_nWeights[n] = 1;
    if (char* weight = FindField(rest); weight != nullptr) {
      const int32_t value = ParseWeight(weight);
      if (value > 0) m_nWeights[n] = value;
    }
    ++n;
  }
  if (file.ErrorNumber() != 0) {
    *error_number = file.ErrorNumber();
    ReleaseKeywords();
    m_nIgnoredLines = 0;
    n = 0;
  }

  std::memset(m_firstBytes, 0, sizeof m_firstBytes);
  std::memset(m_secondBytes, 0, sizeof m_secondBytes);
  for (int k = 0; k < n; ++k) {
    const char* keyword = m_pKeywords[k]->GetString();
    m_szFirstBytes[k] = keyword[0];
    m_firstBytes[k] = static_cast<unsigned char>(keyword[0]);
    m_secondBytes[k] = static_cast<unsigned char>(keyword[1]);  // the NUL for one byte
    m_pBytes[k] = keyword;
    m_nLengths[k] = static_cast<size_t>(m_pKeywords[k]->GetLength());
    const size_t prefix_length = std::min<size_t>(m_nLengths[k], 4);
    const uint32_t all = 0xFFFFFFFFu;
    m_nPrefixes[k] = 0;
    std::memcpy(&m_nPrefixes[k], keyword, prefix_length);
    m_nPrefixMasks[k] = 0;
    std::memcpy(&m_nPrefixMasks[k], &all, prefix_length);
  }
  m_szFirstBytes[n] = '\0';
  m_nCount = n;
  return n;
}

void KeywordTable::ReleaseKeywords() {
  for (CString*& slot : m_pKeywords) {
    delete slot;
    slot = nullptr;
  }
  m_nCount = 0;
}

int KeywordTable::Count() const { return m_nCount; }

int32_t KeywordTable::ScanText(const char* text, int32_t& points, int32_t& hits) const {
  if (text == nullptr) return points;
  const ScanTable table{m_firstBytes,     m_secondBytes, m_pBytes,   m_nPrefixes,
                        m_nPrefixMasks,   m_nLengths,    m_nWeights, static_cast<size_t>(m_nCount)};
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  const size_t length = std::strlen(text);
  switch (g_scan_vectors) {
    case ScanVectors::kWidest:
      ScanAvx512(table, bytes, length, points, hits);
      break;
    case ScanVectors::k32:
      ScanAvx2(table, bytes, length, points, hits);
      break;
    case ScanVectors::k16:
      ScanSse2(table, bytes, length, points, hits);
      break;
  }
  return points;
}

void KeywordTable::UseScanVectors(ScanVectors vectors) {
  // Never wider than the processor allows.
  g_scan_vectors = std::max(vectors, WidestVectors());
}

Score KeywordTable::ScoreMessage(char* body, char* title) const {
  Score score;
  NormalizeText(body, body);
  ScanText(body, score.points, score.hits);
  NormalizeText(title, title);
  ScanText(title, score.points, score.hits);
  return score;
}

bool FormKeywordFilePath(const char* executable_path, PathConvention convention,
                         char (&out)[KeywordTable::kPathSize]) {
  const auto* path = reinterpret_cast<const unsigned char*>(executable_path);
  size_t directory_end = 0;  // just after the directory's last separator
  const char* name = kKeywordFileNameUtf8;
  if (convention == PathConvention::kCodePage932) {
    name = kKeywordFileNameCp932;
    const size_t drive = (path[0] != 0 && path[1] == ':') ? 2 : 0;
    // Character by character, so that the second byte of a two-byte character never counts.
    directory_end = drive;
    size_t i = drive;
    while (path[i] != 0) {
      if (IsLeadByte(path[i])) {
        if (path[i + 1] == 0) break;
        i += 2;
        continue;
      }
      if (path[i] == '\\' || path[i] == '/') directory_end = i + 1;
      ++i;
    }
  } else {
    // In UTF-8 every byte of a multi-byte character is 0x80 or above: a '/' is always a '/'.
    if (const char* slash = std::strrchr(executable_path, '/'); slash != nullptr) {
      directory_end = static_cast<size_t>(slash - executable_path) + 1;
    }
  }

  const size_t name_length = std::strlen(name);
  if (directory_end + name_length + 1 > KeywordTable::kPathSize) return false;
  std::memcpy(out, executable_path, directory_end);
  std::memcpy(out + directory_end, name, name_length + 1);
  return true;
}

bool FormKeywordFilePath(const char* executable_path, char (&out)[KeywordTable::kPathSize]) {
  return FormKeywordFilePath(executable_path, kModulePathConvention, out);
}

bool DefaultKeywordFilePath(char (&out)[KeywordTable::kPathSize]) {
  char executable[KeywordTable::kPathSize];
  if (GetModuleFileName(executable, KeywordTable::kPathSize) == 0) return false;
  return FormKeywordFilePath(executable, out);
}
