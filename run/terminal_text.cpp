// The terminal's text: code page 932 converted to UTF-8 with iconv on Linux; on Windows to the
// console's code page (the system's when there is no console). Runs once per printed line.
#include "run/terminal_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

std::string TerminalText(std::string_view cp932) {
#ifdef _WIN32
  const int length = static_cast<int>(cp932.size());
  const int wideLength = MultiByteToWideChar(932, 0, cp932.data(), length, nullptr, 0);
  if (wideLength <= 0) return std::string(cp932);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(932, 0, cp932.data(), length, wide.data(), wideLength);
  const UINT codePage = GetConsoleOutputCP() != 0 ? GetConsoleOutputCP() : GetACP();
  const int bytes =
      WideCharToMultiByte(codePage, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), wideLength, out.data(), bytes, nullptr, nullptr);
  return out;
#else
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(cp932);
  std::string out(cp932.size() * 3 + 1, '\0');
  char* in = const_cast<char*>(cp932.data());
  size_t inLeft = cp932.size();
  char* to = out.data();
  size_t toLeft = out.size();
  size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1)) return std::string(cp932);
  out.resize(out.size() - toLeft);
  return out;
#endif
}
