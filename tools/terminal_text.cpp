// Conversion to the terminal's encoding: iconv on POSIX, the Win32 code-page calls on Windows.
// The tester prints a few lines per keyword, so plain code is enough.
#include "tools/terminal_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <langinfo.h>
#endif

#include <cstring>

namespace {

bool IsLead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The length of the character at the start of `bytes`: 2 for a lead byte with a second byte.
size_t CharacterLength(std::string_view bytes) {
  return IsLead(static_cast<unsigned char>(bytes[0])) && bytes.size() >= 2 ? 2 : 1;
}

#ifdef _WIN32

constexpr UINT kCodePage932 = 932;

// One character, or '?' when Windows has no Unicode character for it.
std::wstring Widen(std::string_view character) {
  wchar_t wide[4];
  const int n = MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, character.data(),
                                    static_cast<int>(character.size()), wide, 4);
  return n > 0 ? std::wstring(wide, static_cast<size_t>(n)) : std::wstring(L"?");
}

#else

// The terminal's encoding: the locale's codeset, or UTF-8 when the locale is plain ASCII.
std::string TerminalCharset() {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr || *codeset == '\0' || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
      std::strcmp(codeset, "ASCII") == 0 || std::strcmp(codeset, "US-ASCII") == 0) {
    return "UTF-8";
  }
  return codeset;
}

#endif

}  // namespace

std::string ToTerminal(std::string_view cp932) {
#ifdef _WIN32
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode;
  const UINT code_page = GetConsoleMode(output, &mode) ? GetConsoleOutputCP() : kCodePage932;
  if (code_page == kCodePage932) return std::string(cp932);
  // Character by character, so that one that cannot be converted becomes a single '?'.
  std::wstring wide;
  for (size_t i = 0; i < cp932.size();) {
    const size_t n = CharacterLength(cp932.substr(i));
    wide += Widen(cp932.substr(i, n));
    i += n;
  }
  if (wide.empty()) return std::string();
  const int size = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, "?", nullptr);
  std::string shown(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), shown.data(),
                        size, "?", nullptr);
  }
  return shown;
#else
  static const std::string charset = TerminalCharset();
  iconv_t cd = iconv_open(charset.c_str(), "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(cp932);
  std::string shown;
  char buffer[64];
  // Character by character, so that one that cannot be converted becomes a single '?' and the
  // rest still converts.
  for (size_t i = 0; i < cp932.size();) {
    const size_t n = CharacterLength(cp932.substr(i));
    char* in = const_cast<char*>(cp932.data() + i);
    size_t in_left = n;
    char* out = buffer;
    size_t out_left = sizeof buffer;
    if (iconv(cd, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1) || in_left != 0) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset after the error
      shown += '?';
    } else {
      shown.append(buffer, static_cast<size_t>(out - buffer));
    }
    i += n;
  }
  iconv_close(cd);
  return shown;
#endif
}
