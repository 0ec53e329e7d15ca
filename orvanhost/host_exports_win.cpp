// orvanLib.dll's ten operations over the process's StoreHost. orvanLib.def exports them by
// number only, as the real host library does; their names here are the DLL's internal ones. The
// optional failure operation is exported by its name only.
#include <cstdint>

#include "host/host_library.h"
#include "orvanhost/store_host.h"

namespace {

StoreHost& Host() {
  static StoreHost host;  // commits what is pending when the library is unloaded
  return host;
}

}  // namespace

extern "C" {

int32_t ORVAN_API OrvanHostAttach(int32_t zero, const char* program) {
  return Host().HostAttach(zero, program);
}
int32_t ORVAN_API OrvanHostOpenUserList(int32_t zero1, int32_t zero2, const char* pattern) {
  return Host().HostOpenUserList(zero1, zero2, pattern);
}
int32_t ORVAN_API OrvanHostNextUser(UserRecord* record, int32_t one) {
  return Host().HostNextUser(record, one);
}
int32_t ORVAN_API OrvanHostOpenFolder(const char* user, const char* folder, int32_t zero,
                                      const char* kind) {
  return Host().HostOpenFolder(user, folder, zero, kind);
}
int32_t ORVAN_API OrvanHostNextMessage(MessageRecord* record, int32_t zero) {
  return Host().HostNextMessage(record, zero);
}
int32_t ORVAN_API OrvanHostStoreScore(int32_t hits, int32_t points) {
  return Host().HostStoreScore(hits, points);
}
int32_t ORVAN_API OrvanHostFinishMessage() { return Host().HostFinishMessage(); }
int32_t ORVAN_API OrvanHostCloseFolder() { return Host().HostCloseFolder(); }
int32_t ORVAN_API OrvanHostCloseUserList() { return Host().HostCloseUserList(); }
int32_t ORVAN_API OrvanHostDetach() { return Host().HostDetach(); }
// The first failure of the process: the store unusable, a read error, scores not written.
int32_t ORVAN_API OrvanLibLastFailure(char* buffer, int32_t size) {
  return Host().HostLastFailure(buffer, size);
}

}  // extern "C"

// Each export keeps the exact signature that host_library.h gives its number.
static_assert(sizeof(HostAttachProc{&OrvanHostAttach}) > 0);
static_assert(sizeof(HostOpenUserListProc{&OrvanHostOpenUserList}) > 0);
static_assert(sizeof(HostNextUserProc{&OrvanHostNextUser}) > 0);
static_assert(sizeof(HostOpenFolderProc{&OrvanHostOpenFolder}) > 0);
static_assert(sizeof(HostNextMessageProc{&OrvanHostNextMessage}) > 0);
static_assert(sizeof(HostStoreScoreProc{&OrvanHostStoreScore}) > 0);
static_assert(sizeof(HostVoidProc{&OrvanHostFinishMessage}) > 0);
static_assert(sizeof(HostVoidProc{&OrvanHostCloseFolder}) > 0);
static_assert(sizeof(HostVoidProc{&OrvanHostCloseUserList}) > 0);
static_assert(sizeof(HostVoidProc{&OrvanHostDetach}) > 0);
static_assert(sizeof(HostLastFailureProc{&OrvanLibLastFailure}) > 0);
