// The binder on Windows: loads orvanLib.dll by its full path beside the executable and takes the
// ten operations by ordinal, as a program linked against the library's import table would.
//
// It runs once, at start-up, before anything else touches the host. It either binds all ten
// operations or none: a library that lacks one is unloaded again and nothing of it is called.
// The optional failure operation is taken by its name, never by a number.
// Paths are handled in their wide form, so a folder with any name works whatever the system's
// code page; error lines show them in the system's code page.
#include <windows.h>

#include <array>
#include <string>

#include "host/host_binder.h"

namespace {

// The ten operations in the order in which they are bound, with the names used in messages.
struct OrdinalName {
  HostOrdinal ordinal;  // the operation's number
  const char* name;     // its name, for the error line
};
constexpr std::array<OrdinalName, 10> kBindOrder = {{
    {kOrdinalHostAttach, "HostAttach"},
    {kOrdinalHostOpenUserList, "HostOpenUserList"},
    {kOrdinalHostNextUser, "HostNextUser"},
    {kOrdinalHostOpenFolder, "HostOpenFolder"},
    {kOrdinalHostNextMessage, "HostNextMessage"},
    {kOrdinalHostStoreScore, "HostStoreScore"},
    {kOrdinalHostFinishMessage, "HostFinishMessage"},
    {kOrdinalHostCloseFolder, "HostCloseFolder"},
    {kOrdinalHostCloseUserList, "HostCloseUserList"},
    {kOrdinalHostDetach, "HostDetach"},
}};

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

// A HostLibrary over a loaded DLL. Owns the module; frees it on destruction.
class BoundHost final : public HostLibrary {
 public:
  BoundHost(HMODULE module, const std::array<FARPROC, kBindOrder.size()>& procs,
            HostLastFailureProc lastFailure)
      : m_module(module), m_lastFailure(lastFailure) {
    m_attach = As<HostAttachProc>(procs[0]);
    m_openUserList = As<HostOpenUserListProc>(procs[1]);
    m_nextUser = As<HostNextUserProc>(procs[2]);
    m_openFolder = As<HostOpenFolderProc>(procs[3]);
    m_nextMessage = As<HostNextMessageProc>(procs[4]);
    m_storeScore = As<HostStoreScoreProc>(procs[5]);
    m_finishMessage = As<HostVoidProc>(procs[6]);
    m_closeFolder = As<HostVoidProc>(procs[7]);
    m_closeUserList = As<HostVoidProc>(procs[8]);
    m_detach = As<HostVoidProc>(procs[9]);
  }
  ~BoundHost() override { FreeLibrary(m_module); }
  BoundHost(const BoundHost&) = delete;
  BoundHost& operator=(const BoundHost&) = delete;

  int32_t HostAttach(int32_t zero, const char* program) override { return m_attach(zero, program); }
  int32_t HostOpenUserList(int32_t zero1, int32_t zero2, const char* pattern) override {
    return m_openUserList(zero1, zero2, pattern);
  }
  int32_t HostNextUser(UserRecord* record, int32_t one) override { return m_nextUser(record, one); }
  int32_t HostOpenFolder(const char* user, const char* folder, int32_t zero,
                         const char* kind) override {
    return m_openFolder(user, folder, zero, kind);
  }
  int32_t HostNextMessage(MessageRecord* record, int32_t zero) override {
    return m_nextMessage(record, zero);
  }
  int32_t HostStoreScore(int32_t hits, int32_t points) override {
    return m_storeScore(hits, points);
  }
  int32_t HostFinishMessage() override { return m_finishMessage(); }
  int32_t HostCloseFolder() override { return m_closeFolder(); }
  int32_t HostCloseUserList() override { return m_closeUserList(); }
  int32_t HostDetach() override { return m_detach(); }
  int32_t HostLastFailure(char* buffer, int32_t size) override {
    return m_lastFailure != nullptr ? m_lastFailure(buffer, size) : 0;
  }

 private:
  HMODULE m_module;                     // the loaded DLL, freed on destruction
  HostLastFailureProc m_lastFailure;    // the optional failure operation, or null
  HostAttachProc m_attach;              // 1
  HostOpenUserListProc m_openUserList;  // 100
  HostNextUserProc m_nextUser;          // 102
  HostOpenFolderProc m_openFolder;      // 270
  HostNextMessageProc m_nextMessage;    // 273
  HostStoreScoreProc m_storeScore;      // 284
  HostVoidProc m_finishMessage;         // 275
  HostVoidProc m_closeFolder;           // 272
  HostVoidProc m_closeUserList;         // 101
  HostVoidProc m_detach;                // 2
};

// Loads the DLL at the full path `path` and binds the ten operations by ordinal.
std::unique_ptr<HostLibrary> BindAt(const std::wstring& path, std::string* error) {
  // A full path loads exactly that file; the altered search path makes the DLL's own
  // dependencies come from its directory rather than the current one.
  const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    *error = "cannot load the host library " + Narrow(path) + ": " + SystemError(GetLastError());
    return nullptr;
  }
  std::array<FARPROC, kBindOrder.size()> procs{};
  for (size_t i = 0; i < kBindOrder.size(); ++i) {
    procs[i] = GetProcAddress(module, MAKEINTRESOURCEA(kBindOrder[i].ordinal));
    if (procs[i] == nullptr) {
      *error = "the host library " + Narrow(path) + " lacks operation " +
               std::to_string(kBindOrder[i].ordinal) + " (" + kBindOrder[i].name + ")";
      FreeLibrary(module);
      return nullptr;
    }
  }
  // The optional failure operation, by its name only.
  const auto lastFailure = As<HostLastFailureProc>(GetProcAddress(module, kHostLastFailureSymbol));
  return std::make_unique<BoundHost>(module, procs, lastFailure);
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
