// The host library's ten operations, as the program calls them, and one optional operation.
//
// The real host, orvanLib.dll, exports them by number only, and on Windows the binder takes them
// by number (GetProcAddress with the ordinal). A Linux shared object has no ordinals, so there a
// host library exports one C function, kHostLookupSymbol, that returns the address of the
// operation with a given number (or null). Either way the binder (host_binder.h) binds the ten
// numbers below and wraps them in a HostLibrary. Tests put their own HostLibrary in its place.
//
// Calling convention: on 32-bit Windows the operations are __stdcall, the convention of Windows
// client libraries (ORVAN_API below, the one place that says so); on x86-64 and on Linux there
// is only the platform's one convention.
//
// Every operation returns an int32 of which only zero / nonzero counts: zero means failure or
// that nothing is left.
//
// Beside the ten, a host library may export the failure operation kHostLastFailureSymbol, by
// name only (a host library may use any number for something else). It tells whether the
// library recorded a failure in this process (its store unusable, a read error, a score not
// written) and describes the first one. The binder looks it up by that name and uses it only
// when present; through HostLibrary a library without it reports no failure. The check run never
// asks for it: only the programs do, at their end, to choose their exit status.
#pragma once

#include <cstdint>
#include <string>

#include "host/host_records.h"

// The operations' numbers.
enum HostOrdinal : int32_t {
  kOrdinalHostAttach = 1,
  kOrdinalHostDetach = 2,
  kOrdinalHostOpenUserList = 100,
  kOrdinalHostCloseUserList = 101,
  kOrdinalHostNextUser = 102,
  kOrdinalHostOpenFolder = 270,
  kOrdinalHostCloseFolder = 272,
  kOrdinalHostNextMessage = 273,
  kOrdinalHostFinishMessage = 275,
  kOrdinalHostStoreScore = 284,
};

// The calling convention of a host library's operations.
#if defined(_WIN32) && !defined(_WIN64)
#define ORVAN_API __stdcall
#else
#define ORVAN_API
#endif

// The C signatures that a host library's operations have.
extern "C" {
using HostAttachProc = int32_t(ORVAN_API*)(int32_t, const char* program);
using HostOpenUserListProc = int32_t(ORVAN_API*)(int32_t, int32_t, const char* pattern);
using HostNextUserProc = int32_t(ORVAN_API*)(UserRecord* record, int32_t);
using HostOpenFolderProc = int32_t(ORVAN_API*)(const char* user, const char* folder, int32_t,
                                               const char* kind);
using HostNextMessageProc = int32_t(ORVAN_API*)(MessageRecord* record, int32_t);
using HostStoreScoreProc = int32_t(ORVAN_API*)(int32_t hits, int32_t points);
using HostVoidProc = int32_t(ORVAN_API*)();  // HostFinishMessage, HostCloseFolder,
                                             // HostCloseUserList, HostDetach
// The one exported entry of a host library: the operation with number `ordinal`, or null.
using HostLookupProc = void* (*)(int32_t ordinal);
// The optional failure operation: returns 0 when the library has recorded no failure in this
// process; otherwise nonzero, with a description of the first failure written into `buffer` as
// one line of UTF-8 without a newline, NUL-terminated and cut to fit `size` bytes.
using HostLastFailureProc = int32_t(ORVAN_API*)(char* buffer, int32_t size);
}
inline constexpr const char kHostLookupSymbol[] = "OrvanLibProcByOrdinal";
inline constexpr const char kHostLastFailureSymbol[] = "OrvanLibLastFailure";

// The host as the program sees it. Not thread-safe: only the user-interface thread calls it.
class HostLibrary {
 public:
  virtual ~HostLibrary() = default;
  virtual int32_t HostAttach(int32_t zero, const char* program) = 0;          // 1: 0, "orLexmon"
  virtual int32_t HostOpenUserList(int32_t zero1, int32_t zero2, const char* pattern) = 0;  // 100
  virtual int32_t HostNextUser(UserRecord* record, int32_t one) = 0;           // 102
  virtual int32_t HostOpenFolder(const char* user, const char* folder, int32_t zero,
                                 const char* kind) = 0;                        // 270
  virtual int32_t HostNextMessage(MessageRecord* record, int32_t zero) = 0;    // 273
  virtual int32_t HostStoreScore(int32_t hits, int32_t points) = 0;            // 284
  virtual int32_t HostFinishMessage() = 0;                                     // 275
  virtual int32_t HostCloseFolder() = 0;                                       // 272
  virtual int32_t HostCloseUserList() = 0;                                     // 101
  virtual int32_t HostDetach() = 0;                                            // 2

  // The optional failure operation (kHostLastFailureSymbol), with its contract. The default is
  // a library without it: no failure recorded.
  virtual int32_t HostLastFailure(char* buffer, int32_t size) {
    (void)buffer;
    (void)size;
    return 0;
  }
};

// The first failure that `host` recorded in this process, as one line; empty when none.
inline std::string HostFailureText(HostLibrary& host) {
  char buffer[1024];
  buffer[0] = '\0';
  if (host.HostLastFailure(buffer, static_cast<int32_t>(sizeof buffer)) == 0) return {};
  buffer[sizeof buffer - 1] = '\0';  // whatever the library wrote
  std::string text = buffer;
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text.empty() ? "unknown host failure" : text;
}
