// The HostLibrary over a loaded library's operations (bound_host.h): each call goes straight to
// the library's own function.
#include "host/bound_host.h"

namespace {

static_assert(kBindOrder[0].ordinal == kOrdinalHostAttach &&
              kBindOrder[1].ordinal == kOrdinalHostOpenUserList &&
              kBindOrder[2].ordinal == kOrdinalHostNextUser &&
              kBindOrder[3].ordinal == kOrdinalHostOpenFolder &&
              kBindOrder[4].ordinal == kOrdinalHostNextMessage &&
              kBindOrder[5].ordinal == kOrdinalHostStoreScore &&
              kBindOrder[6].ordinal == kOrdinalHostFinishMessage &&
              kBindOrder[7].ordinal == kOrdinalHostCloseFolder &&
              kBindOrder[8].ordinal == kOrdinalHostCloseUserList &&
              kBindOrder[9].ordinal == kOrdinalHostDetach);

// An exported function as its operation's own type.
template <typename Proc>
Proc As(ExportedProc proc) {
  return reinterpret_cast<Proc>(proc);
}

}  // namespace

BoundHost::BoundHost(void* module, UnloadProc unload, const BoundProcs& procs,
                     HostLastFailureProc lastFailure)
    : m_module(module),
      m_unload(unload),
      m_lastFailure(lastFailure),
      m_attach(As<HostAttachProc>(procs[0])),
      m_openUserList(As<HostOpenUserListProc>(procs[1])),
      m_nextUser(As<HostNextUserProc>(procs[2])),
      m_openFolder(As<HostOpenFolderProc>(procs[3])),
      m_nextMessage(As<HostNextMessageProc>(procs[4])),
      m_storeScore(As<HostStoreScoreProc>(procs[5])),
      m_finishMessage(As<HostVoidProc>(procs[6])),
      m_closeFolder(As<HostVoidProc>(procs[7])),
      m_closeUserList(As<HostVoidProc>(procs[8])),
      m_detach(As<HostVoidProc>(procs[9])) {}

BoundHost::~BoundHost() { m_unload(m_module); }

int32_t BoundHost::HostAttach(int32_t zero, const char* program) { return m_attach(zero, program); }
int32_t BoundHost::HostOpenUserList(int32_t zero1, int32_t zero2, const char* pattern) {
  return m_openUserList(zero1, zero2, pattern);
}
int32_t BoundHost::HostNextUser(UserRecord* record, int32_t one) { return m_nextUser(record, one); }
int32_t BoundHost::HostOpenFolder(const char* user, const char* folder, int32_t zero,
                                  const char* kind) {
  return m_openFolder(user, folder, zero, kind);
}
int32_t BoundHost::HostNextMessage(MessageRecord* record, int32_t zero) {
  return m_nextMessage(record, zero);
}
int32_t BoundHost::HostStoreScore(int32_t hits, int32_t points) {
  return m_storeScore(hits, points);
}
int32_t BoundHost::HostFinishMessage() { return m_finishMessage(); }
int32_t BoundHost::HostCloseFolder() { return m_closeFolder(); }
int32_t BoundHost::HostCloseUserList() { return m_closeUserList(); }
int32_t BoundHost::HostDetach() { return m_detach(); }
int32_t BoundHost::HostLastFailure(char* buffer, int32_t size) {
  return m_lastFailure != nullptr ? m_lastFailure(buffer, size) : 0;
}
