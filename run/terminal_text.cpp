// The terminal's text on this platform: UTF-8, converted with iconv. Runs once per printed line.
#include "run/terminal_text.h"

#include <iconv.h>

std::string TerminalText(std::string_view cp932) {
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
}
