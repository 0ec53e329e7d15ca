// The keyword table: its load from the keyword list file, its release, and the scan.
//
// The scan is the hot path of the check run: it runs over every byte of every new message. The
// load therefore ends by building the scan index over the keywords (scan_index.h), and the scan
// asks the index for the winner at each position whose byte begins a keyword, a vector of bytes
// at a time (scan_kernel.h). Every comparison is bounded by the text's known remaining length,
// so nothing past the text's NUL is read.
#include "scoring/keyword_table.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string>
#include <vector>

#include "scoring/module_path.h"
#include "scoring/normalize.h"
#include "scoring/scan_index.h"
#include "scoring/scan_kernel.h"
#include "scoring/text_file.h"

namespace {

constexpr size_t kLineBufferSize = 4096;  // a piece: 4095 bytes and a NUL
// The file name appended to the directory, with a separator of the path's convention.
constexpr char kKeywordFileNameCp932[] = "\\orvan.key";
constexpr char kKeywordFileNameUtf8[] = "/orvan.key";

bool IsSeparator(char c) { return c == '\t' || c == '\r' || c == '\n'; }

// Skips separators; returns the start of the next field, or null when only separators (or
// nothing) remain before the NUL.
char* FindField(char* p) {
  while (IsSeparator(*p)) ++p;
  return *p == '\0' ? nullptr : p;
}

// Reads the decimal value at the start of a weight field: blanks (space, 0x0B, 0x0C) skipped,
// one optional sign, then digits accumulated in wrapping 32-bit arithmetic. No digits give 0.
// `how` says whether there were digits, and whether the value wrapped.
int32_t ParseWeight(const char* p, KeywordListReport::Weight& how) {
  while (*p == ' ' || *p == '\v' || *p == '\f') ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  uint32_t value = 0;
  uint64_t magnitude = 0;  // the value without wrapping, held just past the 32-bit range
  const uint64_t beyond = uint64_t{1} << 32;
  bool digits = false;
  while (*p >= '0' && *p <= '9') {
    value = value * 10u + static_cast<uint32_t>(*p - '0');
    magnitude = std::min(magnitude * 10u + static_cast<uint64_t>(*p - '0'), beyond);
    digits = true;
    ++p;
  }
  if (negative) value = 0u - value;
  const uint64_t fits = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  if (!digits) {
    how = KeywordListReport::Weight::kNotANumber;
  } else if (magnitude > fits) {
    how = KeywordListReport::Weight::kWrapped;
  } else {
    how = negative || magnitude == 0 ? KeywordListReport::Weight::kNotPositive
                                     : KeywordListReport::Weight::kRead;
  }
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

int KeywordTable::LoadKeywordFileFrom(const char* path, int* error_number,
                                      KeywordListReport* report) {
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
  int next_line = 1;   // the file line of the next piece
  int next_piece = 0;  // which piece of that line it is
  for (size_t got; (got = file.ReadPiece(line, sizeof line)) > 0;) {
    const int line_number = next_line;
    const int piece = next_piece;
    if (line[got - 1] == '\n') {
      ++next_line;
      next_piece = 0;
    } else {
      ++next_piece;  // a piece cut at 4095 bytes (or the last line, without LF)
    }
    char* keyword = FindField(line);
    if (keyword == nullptr) continue;
    if (report != nullptr && piece > 0 &&
        (report->split_lines.empty() || report->split_lines.back() != line_number)) {
      report->split_lines.push_back(line_number);
    }
    char* end = keyword;
    while (*end != '\0' && !IsSeparator(*end)) ++end;
    char* rest = end;
    if (*end != '\0') {
      *end = '\0';
      ++rest;
    }
    if (n >= kMaxKeywords) {  // no room: the slot after the last keyword must stay empty
      ++m_nIgnoredLines;
      if (report != nullptr) report->ignored_lines.push_back(line_number);
      continue;
    }
    // The normalized keyword is never longer than the field, so writing it at the start of the
    // line buffer leaves `rest` intact.
    NormalizeText(keyword, line);
    m_pKeywords[n] = new CString(line);
    m_nWeights[n] = 1;
    KeywordListReport::Weight how = KeywordListReport::Weight::kAbsent;
    char* weight = FindField(rest);
    if (weight != nullptr) {
      const int32_t value = ParseWeight(weight, how);
      if (value > 0) m_nWeights[n] = value;
    }
    if (report != nullptr) {
      std::string field;
      if (weight != nullptr) {
        const char* field_end = weight;
        while (*field_end != '\0' && !IsSeparator(*field_end)) ++field_end;
        field.assign(weight, static_cast<size_t>(field_end - weight));
      }
      report->keywords.push_back({line_number, piece, how, std::move(field)});
    }
    ++n;
  }
  if (file.ErrorNumber() != 0) {
    *error_number = file.ErrorNumber();
    ReleaseKeywords();
    m_nIgnoredLines = 0;
    n = 0;
    if (report != nullptr) *report = KeywordListReport{};
  }

  std::vector<const char*> bytes(static_cast<size_t>(n));
  std::vector<uint32_t> lengths(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    bytes[k] = m_pKeywords[k]->GetString();
    lengths[k] = static_cast<uint32_t>(m_pKeywords[k]->GetLength());
    m_szFirstBytes[k] = bytes[k][0];
  }
  m_szFirstBytes[n] = '\0';
  m_nCount = n;
  if (n > 0) m_pIndex = ScanIndex::Build(bytes.data(), lengths.data(), m_nWeights, n);
  return n;
}

void KeywordTable::ReleaseKeywords() {
  m_pIndex.reset();  // it points into the strings
  for (CString*& slot : m_pKeywords) {
    delete slot;
    slot = nullptr;
  }
  m_nCount = 0;
}

int KeywordTable::Count() const { return m_nCount; }

int32_t KeywordTable::ScanText(const char* text, int32_t& points, int32_t& hits) const {
  if (text == nullptr || m_pIndex == nullptr) return points;
  ScanActive(*m_pIndex, text, ScanCounters{&points, &hits});
  return points;
}

void KeywordTable::FindHits(const char* text, void (*found)(void*, size_t, int),
                            void* context) const {
  if (text == nullptr || m_pIndex == nullptr) return;
  ScanActive(*m_pIndex, text, ScanListener{found, context});
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
