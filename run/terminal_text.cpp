// The terminal's text: code page 932 converted with iconv to UTF-8 on Linux; on Windows, whose
// consoles of a Japanese system read code page 932, the bytes as they are. Runs once per printed
// line.
#include "run/terminal_text.h"

#ifndef _WIN32
#include <iconv.h>
#endif

std::string TerminalText(std::string_view cp932) {
#ifdef _WIN32
  return std::string(cp932);
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
