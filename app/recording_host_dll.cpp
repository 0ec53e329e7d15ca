// A stand-in orvanLib.dll for the program's end-to-end tests on Windows: it exports the ten host
// operations by number only and the optional failure operation by its name
// (recording_host_dll.def), serves the users and messages of a script and writes every call with
// its arguments to a record, one line per call, as it happens.
//
//   ORLEXMON_SCRIPT  the script (code page 932, one line each, fields separated by TAB):
//                      user     NAME  KIND  OPENS        OPENS 0: its folder cannot be opened
//                      message  TITLE  DESTINATION  BODY  SCORE_STATE  STORED_POINTS
//                      failure  TEXT                     the failure the library reports
//                    a message belongs to the user above it.
//   ORLEXMON_RECORD  the record, appended to: "Attach(0,orLexmon)", "NextUser(1)",
//                    "OpenFolder(NAME,<sent>,0,KIND)", "StoreScore(1,10)", ... (the texts of the
//                    run as run/recording_host.h shows them).
//
// The first HostNextUser also checks that the program cleared the user record: a record with a
// byte left over is recorded as "NextUser(1) on an uncleared record".
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "run/recording_host.h"

namespace {

using testing_host::RecordingHost;
using testing_host::ScriptedMessage;
using testing_host::ScriptedUser;

std::filesystem::path EnvironmentPath(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return length > 0 && length < 32768 ? std::filesystem::path(value) : std::filesystem::path();
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

struct Script {
  std::vector<ScriptedUser> users;  // in the order the user list delivers them
  std::string failure;              // the failure reported, or empty for none
};

Script ReadScript(const std::filesystem::path& path) {
  Script script;
  std::vector<ScriptedUser>& users = script.users;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> f = Fields(line);
    if (f.size() == 2 && f[0] == "failure") {
      script.failure = f[1];
    } else if (f.size() == 4 && f[0] == "user") {
      users.push_back(ScriptedUser{f[1], f[2], {}, f[3] != "0"});
    } else if (f.size() == 6 && f[0] == "message" && !users.empty()) {
      users.back().messages.push_back(
          ScriptedMessage{f[1], f[2], f[3], std::stoi(f[4]), std::stoi(f[5])});
    }
  }
  return script;
}

// The host and its record, made at the first call.
struct Recorder {
  std::vector<std::string> calls;       // every call, in order
  std::unique_ptr<RecordingHost> host;  // serves the script
  std::filesystem::path record;         // where each call is written
  bool userRecordChecked = false;       // the first HostNextUser has looked at its record
  std::string failure;                  // the failure to report, or empty
};

Recorder& TheRecorder() {
  static Recorder recorder;
  if (recorder.host == nullptr) {
    recorder.record = EnvironmentPath(L"ORLEXMON_RECORD");
    Script script = ReadScript(EnvironmentPath(L"ORLEXMON_SCRIPT"));
    recorder.failure = script.failure;
    recorder.host = std::make_unique<RecordingHost>(recorder.calls, std::move(script.users));
  }
  return recorder;
}

// Writes the call just recorded (with `note` after it) and passes on the operation's result.
int32_t Written(int32_t result, const char* note = "") {
  Recorder& r = TheRecorder();
  if (!r.record.empty() && !r.calls.empty()) {
    std::ofstream(r.record, std::ios::binary | std::ios::app) << r.calls.back() << note << '\n';
  }
  return result;
}

}  // namespace

extern "C" {

int32_t ORVAN_API RecAttach(int32_t zero, const char* program) {
  return Written(TheRecorder().host->HostAttach(zero, program));
}
int32_t ORVAN_API RecOpenUserList(int32_t zero1, int32_t zero2, const char* pattern) {
  return Written(TheRecorder().host->HostOpenUserList(zero1, zero2, pattern));
}
int32_t ORVAN_API RecNextUser(UserRecord* record, int32_t one) {
  Recorder& r = TheRecorder();
  const char* note = "";
  if (!r.userRecordChecked) {
    r.userRecordChecked = true;
    if (std::any_of(record->bytes, record->bytes + UserRecord::kSize, [](char b) { return b; })) {
      note = " on an uncleared record";
    }
  }
  return Written(r.host->HostNextUser(record, one), note);
}
int32_t ORVAN_API RecOpenFolder(const char* user, const char* folder, int32_t zero,
                                const char* kind) {
  return Written(TheRecorder().host->HostOpenFolder(user, folder, zero, kind));
}
int32_t ORVAN_API RecNextMessage(MessageRecord* record, int32_t zero) {
  return Written(TheRecorder().host->HostNextMessage(record, zero));
}
int32_t ORVAN_API RecStoreScore(int32_t hits, int32_t points) {
  return Written(TheRecorder().host->HostStoreScore(hits, points));
}
int32_t ORVAN_API RecFinishMessage() { return Written(TheRecorder().host->HostFinishMessage()); }
int32_t ORVAN_API RecCloseFolder() { return Written(TheRecorder().host->HostCloseFolder()); }
int32_t ORVAN_API RecCloseUserList() { return Written(TheRecorder().host->HostCloseUserList()); }
int32_t ORVAN_API RecDetach() { return Written(TheRecorder().host->HostDetach()); }

// The optional failure operation; recorded too, as "LastFailure".
int32_t ORVAN_API OrvanLibLastFailure(char* buffer, int32_t size) {
  Recorder& r = TheRecorder();
  r.calls.push_back("LastFailure");
  if (r.failure.empty() || size <= 0) return Written(0);
  const size_t n = std::min(r.failure.size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, r.failure.data(), n);
  buffer[n] = '\0';
  return Written(1);
}

}  // extern "C"
