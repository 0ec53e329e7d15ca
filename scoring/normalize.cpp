// Text normalization. NormalizeText runs on every message body and title of the check run, so
// it takes one pass and looks each two-byte character up in a table indexed by its two bytes,
// built at compile time from the 239 conversions below. With SSSE3 the pass takes 64 bytes a
// block (normalize_ssse3.cpp) and the byte loop here does only the last bytes.
#include "scoring/normalize.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "scoring/normalize_blocks.h"
#include "scoring/vectors.h"

// The conversions, paired by position. Only the lead bytes 0x81, 0x82 and 0x83 occur.
constexpr char ConversionTable::kDoubleBytes[2 * kEntries + 1] =
    // 0-40: basic hiragana
    "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8\x82\xA9\x82\xAB\x82\xAD\x82\xAF\x82\xB1"
    "\x82\xB3\x82\xB5\x82\xB7\x82\xB9\x82\xBB\x82\xBD\x82\xBF\x82\xC2\x82\xC4\x82\xC6"
    "\x82\xC8\x82\xC9\x82\xCA\x82\xCB\x82\xCC\x82\xCD\x82\xD0\x82\xD3\x82\xD6\x82\xD9"
    "\x82\xDC\x82\xDD\x82\xDE\x82\xDF\x82\xE0\x82\xE2\x82\xE4\x82\xE6\x82\xED\x82\xF0"
    "\x82\xF1"
    // 41-65: voiced and semi-voiced hiragana
    "\x82\xAA\x82\xAC\x82\xAE\x82\xB0\x82\xB2\x82\xB4\x82\xB6\x82\xB8\x82\xBA\x82\xBC"
    "\x82\xBE\x82\xC0\x82\xC3\x82\xC5\x82\xC7\x82\xCE\x82\xD1\x82\xD4\x82\xD7\x82\xDA"
    "\x82\xCF\x82\xD2\x82\xD5\x82\xD8\x82\xDB"
    // 66-106: basic katakana
    "\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49\x83\x4A\x83\x4C\x83\x4E\x83\x50\x83\x52"
    "\x83\x54\x83\x56\x83\x58\x83\x5A\x83\x5C\x83\x5E\x83\x60\x83\x63\x83\x65\x83\x67"
    "\x83\x69\x83\x6A\x83\x6B\x83\x6C\x83\x6D\x83\x6E\x83\x71\x83\x74\x83\x77\x83\x7A"
    "\x83\x7D\x83\x7E\x83\x80\x83\x81\x83\x82\x83\x84\x83\x86\x83\x88\x83\x8F\x83\x92"
    "\x83\x93"
    // 107-131: voiced and semi-voiced katakana
    "\x83\x4B\x83\x4D\x83\x4F\x83\x51\x83\x53\x83\x55\x83\x57\x83\x59\x83\x5B\x83\x5D"
    "\x83\x5F\x83\x61\x83\x64\x83\x66\x83\x68\x83\x6F\x83\x72\x83\x75\x83\x78\x83\x7B"
    "\x83\x70\x83\x73\x83\x76\x83\x79\x83\x7C"
    // 132-140: small hiragana
    "\x82\x9F\x82\xA1\x82\xA3\x82\xA5\x82\xA7\x82\xC1\x82\xE1\x82\xE3\x82\xE5"
    // 141-166: full-width capitals
    "\x82\x60\x82\x61\x82\x62\x82\x63\x82\x64\x82\x65\x82\x66\x82\x67\x82\x68\x82\x69"
    "\x82\x6A\x82\x6B\x82\x6C\x82\x6D\x82\x6E\x82\x6F\x82\x70\x82\x71\x82\x72\x82\x73"
    "\x82\x74\x82\x75\x82\x76\x82\x77\x82\x78\x82\x79"
    // 167-192: full-width small letters
    "\x82\x81\x82\x82\x82\x83\x82\x84\x82\x85\x82\x86\x82\x87\x82\x88\x82\x89\x82\x8A"
    "\x82\x8B\x82\x8C\x82\x8D\x82\x8E\x82\x8F\x82\x90\x82\x91\x82\x92\x82\x93\x82\x94"
    "\x82\x95\x82\x96\x82\x97\x82\x98\x82\x99\x82\x9A"
    // 193-202: full-width digits
    "\x82\x4F\x82\x50\x82\x51\x82\x52\x82\x53\x82\x54\x82\x55\x82\x56\x82\x57\x82\x58"
    // 203-234: full-width symbols
    "\x81\x49\x81\x68\x81\x94\x81\x90\x81\x93\x81\x95\x81\x66\x81\x69\x81\x6A\x81\x81"
    "\x81\x60\x81\x62\x81\x7C\x81\x4F\x81\x8F\x81\x97\x81\x6D\x81\x47\x81\x46\x81\x6E"
    "\x81\x43\x81\x44\x81\x5E\x81\x65\x81\x6F\x81\x7B\x81\x96\x81\x70\x81\x83\x81\x84"
    "\x81\x48\x81\x51"
    // 235-238: Japanese punctuation and the prolonged sound mark
    "\x81\x41\x81\x42\x81\x45\x81\x5B";
constexpr char ConversionTable::kSingleBytes[kEntries + 1] =
    // 0-40: basic hiragana
    "\xB1\xB2\xB3\xB4\xB5\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF\xC0\xC1\xC2\xC3\xC4"
    "\xC5\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xDC\xA6"
    "\xDD"
    // 41-65: voiced and semi-voiced hiragana
    "\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF\xC0\xC1\xC2\xC3\xC4\xCA\xCB\xCC\xCD\xCE"
    "\xCA\xCB\xCC\xCD\xCE"
    // 66-106: basic katakana
    "\xB1\xB2\xB3\xB4\xB5\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF\xC0\xC1\xC2\xC3\xC4"
    "\xC5\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xDC\xA6"
    "\xDD"
    // 107-131: voiced and semi-voiced katakana
    "\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF\xC0\xC1\xC2\xC3\xC4\xCA\xCB\xCC\xCD\xCE"
    "\xCA\xCB\xCC\xCD\xCE"
    // 132-140: small hiragana
    "\xA7\xA8\xA9\xAA\xAB\xAF\xAC\xAD\xAE"
    // 141-166: full-width capitals
    "\x41\x42\x43\x44\x45\x46\x47\x48\x49\x4A\x4B\x4C\x4D\x4E\x4F\x50\x51\x52\x53\x54"
    "\x55\x56\x57\x58\x59\x5A"
    // 167-192: full-width small letters
    "\x61\x62\x63\x64\x65\x66\x67\x68\x69\x6A\x6B\x6C\x6D\x6E\x6F\x70\x71\x72\x73\x74"
    "\x75\x76\x77\x78\x79\x7A"
    // 193-202: full-width digits
    "\x30\x31\x32\x33\x34\x35\x36\x37\x38\x39"
    // 203-234: full-width symbols
    "\x21\x22\x23\x24\x25\x26\x27\x28\x29\x3D\x7E\x7C\x2D\x5E\x5C\x40\x5B\x3B\x3A\x5D"
    "\x2C\x2E\x2F\x60\x7B\x2B\x2A\x7D\x3C\x3E\x3F\x5F"
    // 235-238: Japanese punctuation and the prolonged sound mark
    "\xA4\xA1\xA5\xB0";

namespace {

constexpr unsigned kFirstLead = 0x81;  // lowest lead byte that begins a table entry
constexpr unsigned kLeadCount = 3;     // 0x81, 0x82, 0x83

// kFolded[lead - 0x81][second] is the single byte a two-byte character becomes, or 0 when the
// character is not in the table (no conversion yields 0).
using FoldTable = std::array<std::array<unsigned char, 256>, kLeadCount>;

constexpr FoldTable BuildFoldTable() {
  FoldTable table{};
  for (int k = 0; k < ConversionTable::kEntries; ++k) {
    const auto lead = static_cast<unsigned char>(ConversionTable::kDoubleBytes[2 * k]);
    const auto second = static_cast<unsigned char>(ConversionTable::kDoubleBytes[2 * k + 1]);
    table[lead - kFirstLead][second] = static_cast<unsigned char>(ConversionTable::kSingleBytes[k]);
  }
  return table;
}
constexpr FoldTable kFolded = BuildFoldTable();

static_assert(sizeof(ConversionTable::kDoubleBytes) == 2 * ConversionTable::kEntries + 1);
static_assert(sizeof(ConversionTable::kSingleBytes) == ConversionTable::kEntries + 1);

// What a one-byte character becomes: a-z become A-Z, every other byte stays.
constexpr std::array<unsigned char, 256> BuildSingleTable() {
  std::array<unsigned char, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    table[b] = static_cast<unsigned char>(b >= 'a' && b <= 'z' ? b - 0x20 : b);
  }
  return table;
}
constexpr std::array<unsigned char, 256> kSingle = BuildSingleTable();

// kEndsRun[b]: 1 for the bytes that end a run of one-byte characters: a lead byte or the NUL.
constexpr std::array<unsigned char, 256> BuildEndsRunTable() {
  std::array<unsigned char, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    table[b] = b == 0 || IsLeadByte(static_cast<unsigned char>(b)) ? 1 : 0;
  }
  return table;
}
constexpr std::array<unsigned char, 256> kEndsRun = BuildEndsRunTable();

// kRow[b]: the row of kFoldedRows for a lead byte b; row kLeadCount holds only zeros, for every
// byte that begins no table entry.
constexpr std::array<unsigned char, 256> BuildRowTable() {
  std::array<unsigned char, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    table[b] = static_cast<unsigned char>(
        b >= kFirstLead && b < kFirstLead + kLeadCount ? b - kFirstLead : kLeadCount);
  }
  return table;
}
constexpr std::array<unsigned char, 256> kRow = BuildRowTable();

constexpr std::array<std::array<unsigned char, 256>, kLeadCount + 1> BuildFoldedRows() {
  std::array<std::array<unsigned char, 256>, kLeadCount + 1> rows{};
  for (unsigned r = 0; r < kLeadCount; ++r) rows[r] = kFolded[r];
  return rows;
}
constexpr auto kFoldedRows = BuildFoldedRows();

}  // namespace

char* NormalizeText(const char* source, char* destination) {
  auto* in = reinterpret_cast<const unsigned char*>(source);
  auto* out = reinterpret_cast<unsigned char*>(destination);
  if (ActiveVectors() != Vectors::kNone) {
    const BlockProgress done = NormalizeBlocksSsse3(in, std::strlen(source), out, kFolded.data());
    in += done.read;
    out += done.written;
  }
  // Every write lands at or before the bytes just read (out <= in), which keeps in-place and
  // towards-the-start normalization safe.
  for (;;) {
    unsigned char byte = *in;
    while (kEndsRun[byte] == 0) {  // a run of one-byte characters
      *out++ = kSingle[byte];
      byte = *++in;
    }
    if (byte == 0) break;
    const unsigned char second = in[1];
    if (second == 0) {  // a text that ends inside a character: keep the lone lead byte
      *out++ = byte;
      break;
    }
    // Without a branch on whether the character converts, which kana and kanji make
    // unpredictable: both bytes are written, and a conversion keeps only the first.
    const unsigned char folded = kFoldedRows[kRow[byte]][second];
    const unsigned converted = folded != 0 ? 1 : 0;
    out[0] = converted != 0 ? folded : byte;
    out[1] = second;
    out += 2 - converted;
    in += 2;
  }
  *out = 0;
  return destination;
}
