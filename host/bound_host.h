// What both binders share: the order in which the ten operations are bound, and the HostLibrary
// over the operations of a loaded library. Only the loading differs between platforms
// (host_binder.cpp, host_binder_win.cpp).
#pragma once

#include <array>
#include <cstddef>

#include "host/host_library.h"

// The ten operations in the order in which they are bound, with the names used in messages.
struct OrdinalName {
  HostOrdinal ordinal;  // the operation's number
  const char* name;     // its name, for the error line
};
inline constexpr std::array<OrdinalName, 10> kBindOrder = {{
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

// Any exported function, before it is given its operation's own type.
using ExportedProc = void (*)();
// The ten exported operations in kBindOrder.
using BoundProcs = std::array<ExportedProc, kBindOrder.size()>;

// A HostLibrary over the operations of a loaded library. Owns the library: `unload` is called
// with `module` on destruction. Not copyable.
class BoundHost final : public HostLibrary {
 public:
  using UnloadProc = void (*)(void* module);

  // REQUIRES: every entry of `procs` is the library's operation of that kBindOrder number;
  // `lastFailure` is its failure operation, or null when it has none.
  BoundHost(void* module, UnloadProc unload, const BoundProcs& procs,
            HostLastFailureProc lastFailure);
  ~BoundHost() override;
  BoundHost(const BoundHost&) = delete;
  BoundHost& operator=(const BoundHost&) = delete;

  int32_t HostAttach(int32_t zero, const char* program) override;
  int32_t HostOpenUserList(int32_t zero1, int32_t zero2, const char* pattern) override;
  int32_t HostNextUser(UserRecord* record, int32_t one) override;
  int32_t HostOpenFolder(const char* user, const char* folder, int32_t zero,
                         const char* kind) override;
  int32_t HostNextMessage(MessageRecord* record, int32_t zero) override;
  int32_t HostStoreScore(int32_t hits, int32_t points) override;
  int32_t HostFinishMessage() override;
  int32_t HostCloseFolder() override;
  int32_t HostCloseUserList() override;
  int32_t HostDetach() override;
  int32_t HostLastFailure(char* buffer, int32_t size) override;

 private:
  void* m_module;                       // the loaded library, unloaded on destruction
  UnloadProc m_unload;                  // how it is unloaded
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
