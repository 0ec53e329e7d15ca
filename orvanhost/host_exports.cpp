// The host library's exported entries: the operations of the process's StoreHost by number, and
// the optional failure operation by its name. Everything else in liborvanLib.so is hidden
// (exports.map).
#include <cstdint>
#include <string_view>

#include "host/host_library.h"
#include "orvanhost/store_host.h"

namespace {

StoreHost& Host() {
  static StoreHost host;  // commits what is pending when the library is unloaded
  return host;
}

int32_t Attach(int32_t zero, const char* program) { return Host().HostAttach(zero, program); }
int32_t OpenUserList(int32_t zero1, int32_t zero2, const char* pattern) {
  return Host().HostOpenUserList(zero1, zero2, pattern);
}
int32_t NextUser(UserRecord* record, int32_t one) { return Host().HostNextUser(record, one); }
int32_t OpenFolder(const char* user, const char* folder, int32_t zero, const char* kind) {
  return Host().HostOpenFolder(user, folder, zero, kind);
}
int32_t NextMessage(MessageRecord* record, int32_t zero) {
  return Host().HostNextMessage(record, zero);
}
int32_t StoreScore(int32_t hits, int32_t points) { return Host().HostStoreScore(hits, points); }
int32_t FinishMessage() { return Host().HostFinishMessage(); }
int32_t CloseFolder() { return Host().HostCloseFolder(); }
int32_t CloseUserList() { return Host().HostCloseUserList(); }
int32_t Detach() { return Host().HostDetach(); }

// Each entry keeps the exact C signature that host_library.h gives its number.
constexpr HostAttachProc kAttach = Attach;
constexpr HostOpenUserListProc kOpenUserList = OpenUserList;
constexpr HostNextUserProc kNextUser = NextUser;
constexpr HostOpenFolderProc kOpenFolder = OpenFolder;
constexpr HostNextMessageProc kNextMessage = NextMessage;
constexpr HostStoreScoreProc kStoreScore = StoreScore;
constexpr HostVoidProc kFinishMessage = FinishMessage;
constexpr HostVoidProc kCloseFolder = CloseFolder;
constexpr HostVoidProc kCloseUserList = CloseUserList;
constexpr HostVoidProc kDetach = Detach;

}  // namespace

static_assert(std::string_view(kHostLookupSymbol) == "OrvanLibProcByOrdinal");
static_assert(std::string_view(kHostLastFailureSymbol) == "OrvanLibLastFailure");

// The first failure of the process: the store unusable, a read error, scores not written.
extern "C" __attribute__((visibility("default"))) int32_t OrvanLibLastFailure(char* buffer,
                                                                              int32_t size) {
  constexpr HostLastFailureProc kSignature = OrvanLibLastFailure;  // the contract's signature
  (void)kSignature;
  return Host().HostLastFailure(buffer, size);
}

extern "C" __attribute__((visibility("default"))) void* OrvanLibProcByOrdinal(int32_t ordinal) {
  switch (ordinal) {
    case kOrdinalHostAttach:
      return reinterpret_cast<void*>(kAttach);
    case kOrdinalHostDetach:
      return reinterpret_cast<void*>(kDetach);
    case kOrdinalHostOpenUserList:
      return reinterpret_cast<void*>(kOpenUserList);
    case kOrdinalHostCloseUserList:
      return reinterpret_cast<void*>(kCloseUserList);
    case kOrdinalHostNextUser:
      return reinterpret_cast<void*>(kNextUser);
    case kOrdinalHostOpenFolder:
      return reinterpret_cast<void*>(kOpenFolder);
    case kOrdinalHostCloseFolder:
      return reinterpret_cast<void*>(kCloseFolder);
    case kOrdinalHostNextMessage:
      return reinterpret_cast<void*>(kNextMessage);
    case kOrdinalHostFinishMessage:
      return reinterpret_cast<void*>(kFinishMessage);
    case kOrdinalHostStoreScore:
      return reinterpret_cast<void*>(kStoreScore);
  }
  return nullptr;
}
