// What the tests need of the platform, the same way on Linux and Windows: code-page-932 bytes of a
// UTF-8 text, a fresh temporary directory, and the running test program's own path.
//
//   const std::string bytes = test_util::Sjis("契約");   // 8C 5F 96 F1
//   test_util::TempDir dir("keys");                     // removed with the object
//   std::ofstream(dir.path() / "orvan.key") << bytes;
//
// Test-only. The conversion is the Windows mapping of code page 932 (iconv's "CP932" on Linux,
// the system's own table on Windows), independent of the program's normalization table.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace test_util {

// The code-page-932 bytes of `utf8`. Throws when a character has no code-page-932 form.
inline std::string Sjis(std::string_view utf8) {
  if (utf8.empty()) return {};
#ifdef _WIN32
  const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                             static_cast<int>(utf8.size()), nullptr, 0);
  if (wideLength <= 0) throw std::runtime_error("Sjis: not UTF-8");
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                      wideLength);
  BOOL lossy = FALSE;
  const int length = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength,
                                         nullptr, 0, nullptr, &lossy);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, out.data(), length,
                      nullptr, &lossy);
  if (length <= 0 || lossy) throw std::runtime_error("Sjis: not convertible");
  return out;
#else
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv: no CP932");
  std::string out(utf8.size() * 2 + 1, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* to = out.data();
  size_t toLeft = out.size();
  const size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1)) throw std::runtime_error("Sjis: not convertible");
  out.resize(out.size() - toLeft);
  return out;
#endif
}

// The running program's process id, for names that other processes' tests do not take.
inline unsigned long ProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

// Sets the environment variable `name` of this process to `value`.
inline void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

// The running test program's full path.
inline std::filesystem::path ExecutablePath() {
#ifdef _WIN32
  wchar_t path[32768];
  const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
  if (length == 0 || length >= 32768) throw std::runtime_error("GetModuleFileNameW failed");
  return std::filesystem::path(std::wstring(path, length));
#else
  return std::filesystem::read_symlink("/proc/self/exe");
#endif
}

// A new, empty directory under the system's temporary directory, removed with its contents when
// the object goes.
class TempDir {
 public:
  explicit TempDir(std::string_view what) {
    static std::atomic<int> serial{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0;; ++attempt) {
      m_path = base / ("orlexmon_" + std::string(what) + "_" + std::to_string(ProcessId()) + "_" +
                       std::to_string(serial++));
      if (std::filesystem::create_directory(m_path)) break;
      if (attempt > 100) throw std::runtime_error("cannot make a temporary directory");
    }
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;  // the directory
};

#ifdef _WIN32
// Runs `program` with the command-line arguments `arguments` (already quoted as needed) in the
// directory `directory`, with `environment` (NAME=VALUE entries) added to this process's own
// (or replacing the same names), waits for it and returns its exit status, or -1 when it cannot
// be started. Its standard output and error, together, go into `*output`, CR LF read as LF.
inline int RunProgram(const std::filesystem::path& program, const std::wstring& arguments,
                      const std::filesystem::path& directory,
                      const std::vector<std::wstring>& environment, std::string* output) {
  const TempDir scratch("run");
  const std::filesystem::path log = scratch.path() / "output.txt";
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE file = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;

  // The environment block: ours, with the given entries in place of the same names.
  std::vector<std::wstring> entries;
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) entries.emplace_back(p);
  FreeEnvironmentStringsW(block);
  for (const std::wstring& add : environment) {
    const std::wstring name = add.substr(0, add.find(L'=') + 1);
    std::erase_if(entries, [&](const std::wstring& e) {
      return _wcsnicmp(e.c_str(), name.c_str(), name.size()) == 0;
    });
    entries.push_back(add);
  }
  std::wstring envBlock;
  for (const std::wstring& e : entries) envBlock += e + L'\0';
  envBlock += L'\0';

  std::wstring commandLine = L"\"" + program.wstring() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = file;
  startup.hStdError = file;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                      CREATE_UNICODE_ENVIRONMENT, envBlock.data(),
                                      directory.c_str(), &startup, &process);
  CloseHandle(file);
  if (!started) return -1;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::ifstream in(log, std::ios::binary);
  output->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  for (size_t at = output->find("\r\n"); at != std::string::npos; at = output->find("\r\n", at)) {
    output->erase(at, 1);
  }
  return static_cast<int>(status);
}
#endif

}  // namespace test_util
