// The binder on Windows: loads orvanLib.dll by its full path beside the executable and takes the
// ten operations by ordinal, as a program linked against the library's import table would.
//
// It runs once, at start-up, before anything else touches the host. It either binds all ten
// operations or none: a library that lacks one is unloaded again and nothing of it is called.
// The optional failure operation is taken by its name, never by a number.
// Paths are handled in their wide form, so a folder with any name works whatever the system's
// code page; error lines show them in the system's code page.
#include <windows.h>

#include <string>

#include "host/bound_host.h"
#include "host/host_binder.h"

namespace {

// A wide text in the system's code page, for an error line on standard error.
std::string Narrow(const std::wstring& wide) {
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), length,
                        nullptr, nullptr);
  }
  return out;
}

std::wstring Widen(const char* utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), length);
  out.resize(out.size() - 1);
  return out;
}

// The system's text for an error code, as one line without the trailing period's line end.
std::string SystemError(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring line = length > 0 ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) LocalFree(text);
  for (wchar_t& c : line) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  while (!line.empty() && line.back() == L' ') line.pop_back();
  return "error " + std::to_string(code) + (line.empty() ? "" : ": " + Narrow(line));
}

// An exported address as the operation's own type. FARPROC stands for any function; the cast
// goes through void (*)(), which is the way of saying so to the compiler.
template <typename Proc>
Proc As(FARPROC proc) {
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(proc));
}

void Unload(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

// Loads the DLL at the full path `path` and binds the ten operations by ordinal.
std::unique_ptr<HostLibrary> BindAt(const std::wstring& path, std::string* error) {
  // A full path loads exactly that file; the altered search path makes the DLL's own
  // dependencies come from its directory rather than the current one.
  const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    *error = "cannot load the host library " + Narrow(path) + ": " + SystemError(GetLastError());
    return nullptr;
  }
  BoundProcs procs{};
  for (size_t i = 0; i < kBindOrder.size(); ++i) {
    procs[i] = As<ExportedProc>(GetProcAddress(module, MAKEINTRESOURCEA(kBindOrder[i].ordinal)));
    if (procs[i] == nullptr) {
      *error = "the host library " + Narrow(path) + " lacks operation " +
               std::to_string(kBindOrder[i].ordinal) + " (" + kBindOrder[i].name + ")";
      FreeLibrary(module);
      return nullptr;
    }
  }
  // The optional failure operation, by its name only.
  const auto lastFailure = As<HostLastFailureProc>(GetProcAddress(module, kHostLastFailureSymbol));
  return std::make_unique<BoundHost>(module, Unload, procs, lastFailure);
}

// The directory of the running executable, with its trailing separator, or "" when it cannot
// be had.
std::wstring ExecutableDirectory() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return L"";
  path.resize(length);
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
}

}  // namespace

std::unique_ptr<HostLibrary> BindHostLibraryAt(const char* path, std::string* error) {
  return BindAt(Widen(path), error);
}

std::unique_ptr<HostLibrary> BindHostLibrary(std::string* error) {
  const std::wstring directory = ExecutableDirectory();
  if (directory.empty()) {
    *error = std::string("cannot find the host library ") + kHostLibraryFileName +
             ": the program's own path cannot be had";
    return nullptr;
  }
  const std::wstring path = directory + Widen(kHostLibraryFileName);
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    *error = std::string("cannot find the host library ") + kHostLibraryFileName + " in " +
             Narrow(directory) + " (it is loaded from the program's own directory only)";
    return nullptr;
  }
  return BindAt(path, error);
}
