// iconv-based conversion. One descriptor per direction is opened on first use and kept for the
// process's life; the user-interface thread is the only caller. Pure ASCII, the common case for
// numbers, skips iconv altogether.
#include "framework/qt/cp932.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

iconv_t Open(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::fprintf(stderr, "orlexmon: iconv cannot convert %s to %s\n", from, to);
    std::abort();
  }
  return cd;
}

bool IsAscii(std::string_view bytes) {
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Converts with `cd`; on a bad input sequence writes `replacement` and skips `skip(in)` bytes.
template <typename Skip>
std::string Convert(iconv_t cd, std::string_view input, std::string_view replacement, Skip skip) {
  std::string out;
  out.resize(input.size() * 3 + 8);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      const size_t used = static_cast<size_t>(outPtr - out.data());
      out.resize(out.size() * 2);
      outPtr = out.data() + used;
      outLeft = out.size() - used;
      continue;
    }
    // EILSEQ or EINVAL: a byte sequence that does not convert.
    if (outLeft < replacement.size()) {
      const size_t used = static_cast<size_t>(outPtr - out.data());
      out.resize(out.size() * 2 + replacement.size());
      outPtr = out.data() + used;
      outLeft = out.size() - used;
    }
    for (char c : replacement) {
      *outPtr++ = c;
      --outLeft;
    }
    const size_t n = std::min(inLeft, skip(in, inLeft));
    in += n;
    inLeft -= n;
  }
  out.resize(static_cast<size_t>(outPtr - out.data()));
  return out;
}

}  // namespace

QString FromCp932(std::string_view bytes) {
  if (IsAscii(bytes))
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  static iconv_t cd = Open("UTF-8", "CP932");
  const std::string utf8 =
      Convert(cd, bytes, "\xEF\xBF\xBD", [](const char*, size_t) { return size_t{1}; });
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToCp932(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  const std::string_view view(utf8.constData(), static_cast<size_t>(utf8.size()));
  if (IsAscii(view)) return std::string(view);
  static iconv_t cd = Open("CP932", "UTF-8");
  // Skip one whole UTF-8 character that CP932 cannot hold.
  return Convert(cd, view, "?", [](const char* p, size_t left) {
    size_t n = 1;
    while (n < left && (static_cast<unsigned char>(p[n]) & 0xC0) == 0x80) ++n;
    return n;
  });
}
