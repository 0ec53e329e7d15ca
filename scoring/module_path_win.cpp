// The platform pieces of the keyword load on Windows. Paths travel as code-page-932 bytes, as the
// rest of the program's texts do; they are converted from and to the system's wide (UTF-16)
// names explicitly with code page 932, never through the system's ANSI code page, so that a
// folder with a Japanese name is found on any Windows, Japanese or not.
#include <windows.h>

#include <string>

#undef GetModuleFileName  // ours, declared in module_path.h, not the system's macro

#include "scoring/module_path.h"

namespace {
constexpr UINT kCodePage = 932;
}  // namespace

int GetModuleFileName(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  std::wstring wide(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
  if (length == 0 || length >= wide.size()) return 0;
  BOOL lossy = FALSE;
  const int bytes =
      WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(length),
                          buffer, size - 1, nullptr, &lossy);
  // A character without a code-page-932 form would come out as '?' and name another file.
  if (bytes <= 0 || lossy) return 0;
  buffer[bytes] = '\0';
  return bytes;
}

std::FILE* OpenFileForReading(const char* path) {
  const int length = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (length <= 0) return nullptr;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, path, -1, wide.data(), length);
  return _wfopen(wide.c_str(), L"rb");
}
