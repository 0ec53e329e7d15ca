// Charset conversion with iconv for the admin tool. Runs once per imported text or printed
// name; the converters are opened once per charset and kept, the rest favours plain code over
// speed.
#include "orvanhost/cp932_convert.h"

#include <langinfo.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// The iconv name to read a MIME charset with.
std::string IconvName(std::string_view charset) {
  const std::string name = Lower(charset);
  for (const char* alias : {"shift_jis", "shift-jis", "sjis", "x-sjis", "ms_kanji", "csshiftjis",
                            "windows-31j", "cp932", "ms932", "x-ms-cp932"}) {
    if (name == alias) return "CP932";
  }
  for (const char* alias : {"euc-jp", "x-euc-jp", "eucjp", "cseucpkdfmtjapanese"}) {
    if (name == alias) return "EUC-JP-MS";
  }
  if (name.empty() || name == "us-ascii" || name == "ascii") return "UTF-8";
  return std::string(charset);
}

// Size of the UTF-8 sequence that `lead` starts (1 for a byte that starts none).
size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

// Runs `cd` over `input`; at a sequence it cannot convert, appends `substitute`, skips
// `skip(at, left)` bytes (at least one) and counts one in `*replaced`.
template <typename Skip>
void Convert(iconv_t cd, std::string_view input, std::string_view substitute, Skip skip,
             std::string* output, int* replaced) {
  char buffer[4096];
  char* in = const_cast<char*>(input.data());
  size_t in_left = input.size();
  while (true) {
    char* out = buffer;
    size_t out_left = sizeof buffer;
    const size_t rc = in_left > 0 ? iconv(cd, &in, &in_left, &out, &out_left)
                                  : iconv(cd, nullptr, nullptr, &out, &out_left);
    const int error = errno;
    output->append(buffer, static_cast<size_t>(out - buffer));
    if (rc != static_cast<size_t>(-1)) {
      if (in_left == 0) {
        // Flush the shift state (ISO-2022-JP) once the input is done.
        out = buffer;
        out_left = sizeof buffer;
        iconv(cd, nullptr, nullptr, &out, &out_left);
        output->append(buffer, static_cast<size_t>(out - buffer));
        return;
      }
      continue;
    }
    if (error == E2BIG) continue;
    output->append(substitute);
    ++*replaced;
    if (error == EINVAL) return;  // a sequence cut off by the end of the input
    const size_t step = std::min(in_left, std::max<size_t>(1, skip(in, in_left)));
    in += step;
    in_left -= step;
    if (in_left == 0) return;
  }
}

}  // namespace

Cp932Converter::~Cp932Converter() {
  for (const auto& [names, converter] : converters_) {
    if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
  }
}

iconv_t Cp932Converter::Converter(const std::string& to, const std::string& from) {
  const auto [entry, added] = converters_.try_emplace({to, from}, reinterpret_cast<iconv_t>(-1));
  if (added) entry->second = iconv_open(to.c_str(), from.c_str());
  if (entry->second != reinterpret_cast<iconv_t>(-1)) {
    iconv(entry->second, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  }
  return entry->second;
}

std::string Cp932Converter::ToCp932(std::string_view text, std::string_view charset,
                                    int* replaced) {
  // Through UTF-8 even from CP932: the round trip finds the invalid bytes.
  iconv_t to_utf8 = Converter("UTF-8", IconvName(charset));
  if (to_utf8 == reinterpret_cast<iconv_t>(-1)) to_utf8 = Converter("UTF-8", "UTF-8");
  std::string utf8;
  int invalid = 0;
  Convert(
      to_utf8, text, kReplacementUtf8, [](const char*, size_t) { return size_t{1}; }, &utf8,
      &invalid);

  std::string result;
  result.reserve(utf8.size());
  Convert(
      Converter("CP932", "UTF-8"), utf8, kGetaMark,
      [](const char* at, size_t) { return Utf8SequenceLength(static_cast<unsigned char>(*at)); },
      &result, replaced);
  return result;
}

std::string Cp932Converter::FromCp932(std::string_view bytes, std::string_view charset) {
  iconv_t cd = Converter(std::string(charset), "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);
  std::string result;
  int replaced = 0;
  Convert(
      cd, bytes, "?",
      [](const char* at, size_t) -> size_t {
        const auto lead = static_cast<unsigned char>(*at);
        return (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1;
      },
      &result, &replaced);
  return result;
}

std::string ConvertToCp932(std::string_view text, std::string_view charset, int* replaced) {
  return Cp932Converter().ToCp932(text, charset, replaced);
}

std::string ConvertFromCp932(std::string_view bytes, std::string_view charset) {
  return Cp932Converter().FromCp932(bytes, charset);
}

std::string TerminalCharset() {
  const std::string codeset = nl_langinfo(CODESET);
  const std::string lower = Lower(codeset);
  if (codeset.empty() || lower == "ansi_x3.4-1968" || lower == "ascii" || lower == "us-ascii") {
    return "UTF-8";
  }
  return codeset;
}
