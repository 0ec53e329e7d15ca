// The binder: loads the host library with the platform's dynamic loader and binds its ten
// operations through the library's one exported lookup function, and the optional failure
// operation by its name.
//
// It runs once, at start-up, before anything else touches the host. It either binds all ten
// operations or none: a library that lacks one is unloaded again and nothing of it is called.
// The search order copies the Windows loader's for a library named without a path: the
// executable's own directory first, then the system's library path.
#include "host/host_binder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <string>

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

// The loader's last error as one line (a message never spans lines).
std::string LoaderError() {
  const char* text = dlerror();
  std::string line = text != nullptr ? text : "unknown loader error";
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

// A HostLibrary over a loaded shared object. Owns the loader handle; unloads it on destruction.
class BoundHost final : public HostLibrary {
 public:
  BoundHost(void* handle, const std::array<void*, kBindOrder.size()>& procs,
            HostLastFailureProc lastFailure)
      : m_handle(handle), m_lastFailure(lastFailure) {
    m_attach = reinterpret_cast<HostAttachProc>(procs[0]);
    m_openUserList = reinterpret_cast<HostOpenUserListProc>(procs[1]);
    m_nextUser = reinterpret_cast<HostNextUserProc>(procs[2]);
    m_openFolder = reinterpret_cast<HostOpenFolderProc>(procs[3]);
    m_nextMessage = reinterpret_cast<HostNextMessageProc>(procs[4]);
    m_storeScore = reinterpret_cast<HostStoreScoreProc>(procs[5]);
    m_finishMessage = reinterpret_cast<HostVoidProc>(procs[6]);
    m_closeFolder = reinterpret_cast<HostVoidProc>(procs[7]);
    m_closeUserList = reinterpret_cast<HostVoidProc>(procs[8]);
    m_detach = reinterpret_cast<HostVoidProc>(procs[9]);
  }
  ~BoundHost() override { dlclose(m_handle); }
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
  void* m_handle;                        // the loader's handle, closed on destruction
  HostLastFailureProc m_lastFailure;     // the optional failure operation, or null
  HostAttachProc m_attach;               // 1
  HostOpenUserListProc m_openUserList;   // 100
  HostNextUserProc m_nextUser;           // 102
  HostOpenFolderProc m_openFolder;       // 270
  HostNextMessageProc m_nextMessage;     // 273
  HostStoreScoreProc m_storeScore;       // 284
  HostVoidProc m_finishMessage;          // 275
  HostVoidProc m_closeFolder;            // 272
  HostVoidProc m_closeUserList;          // 101
  HostVoidProc m_detach;                 // 2
};

// Binds the ten operations of an already loaded library, or unloads it and says what is missing.
std::unique_ptr<HostLibrary> BindLoaded(void* handle, const std::string& shown_name,
                                        std::string* error) {
  dlerror();  // clear a stale error before the lookup
  auto lookup = reinterpret_cast<HostLookupProc>(dlsym(handle, kHostLookupSymbol));
  if (lookup == nullptr) {
    *error = "the host library " + shown_name + " does not export " + kHostLookupSymbol;
    dlclose(handle);
    return nullptr;
  }
  std::array<void*, kBindOrder.size()> procs{};
  for (size_t i = 0; i < kBindOrder.size(); ++i) {
    procs[i] = lookup(kBindOrder[i].ordinal);
    if (procs[i] == nullptr) {
      *error = "the host library " + shown_name + " lacks operation " +
               std::to_string(kBindOrder[i].ordinal) + " (" + kBindOrder[i].name + ")";
      dlclose(handle);
      return nullptr;
    }
  }
  // The optional failure operation, by its name only.
  auto lastFailure = reinterpret_cast<HostLastFailureProc>(dlsym(handle, kHostLastFailureSymbol));
  return std::make_unique<BoundHost>(handle, procs, lastFailure);
}

// The directory of the running executable, with its trailing '/', or "" when it cannot be had.
std::string ExecutableDirectory() {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return "";
  std::string full(path, static_cast<size_t>(length));
  size_t slash = full.rfind('/');
  return slash == std::string::npos ? "" : full.substr(0, slash + 1);
}

}  // namespace

std::unique_ptr<HostLibrary> BindHostLibraryAt(const char* path, std::string* error) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *error = "cannot load the host library " + std::string(path) + ": " + LoaderError();
    return nullptr;
  }
  return BindLoaded(handle, path, error);
}

std::unique_ptr<HostLibrary> BindHostLibrary(std::string* error) {
  std::string directory = ExecutableDirectory();
  if (!directory.empty()) {
    std::string beside = directory + kHostLibraryFileName;
    // A library beside the executable wins even when it cannot be loaded: loading another one
    // from the system path instead would hide the fault.
    if (access(beside.c_str(), F_OK) == 0) return BindHostLibraryAt(beside.c_str(), error);
  }
  void* handle = dlopen(kHostLibraryFileName, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *error = std::string("cannot find the host library ") + kHostLibraryFileName +
             (directory.empty() ? std::string() : " in " + directory) +
             " or the system library path: " + LoaderError();
    return nullptr;
  }
  return BindLoaded(handle, kHostLibraryFileName, error);
}
