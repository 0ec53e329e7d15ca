// Test helpers for the check run: a host that serves scripted users and messages and records
// every call with its arguments, and a run whose window operations feed a plain queue and the
// same record. Test-only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "host/host_library.h"
#include "run/check_run.h"

namespace testing_host {

// Writes `text` into a field of `size` bytes: NUL-terminated when it fits, else the field's
// bytes without NUL (a faulty host).
inline void PutField(char* field, size_t size, const std::string& text) {
  size_t n = std::min(text.size(), size);
  std::memcpy(field, text.data(), n);
  if (n < size) field[n] = '\0';
}

// The text that a field written by PutField holds once the run has cut it at its last byte.
inline std::string FieldText(const std::string& text, size_t size) {
  return text.size() < size ? text : text.substr(0, size - 1);
}

// A text as the call record shows it: the run's texts by their meaning, other bytes as they are.
inline std::string Show(const char* text) {
  if (text == nullptr) return "null";
  if (std::strcmp(text, kTextSentFolder) == 0) return "<sent>";
  if (std::strcmp(text, kTextBoardKind) == 0) return "<board>";
  return text;
}

struct ScriptedMessage {
  std::string title;         // as delivered
  std::string destination;   // as delivered
  std::string body;          // as delivered
  int32_t scoreState = -1;   // negative: not scored yet
  int32_t storedPoints = 0;  // points stored with an earlier score
};

struct ScriptedUser {
  std::string name;                       // name field's bytes
  std::string kind;                       // kind field's bytes
  std::vector<ScriptedMessage> messages;  // the folder that HostOpenFolder opens
  bool folderOpens = true;                // false: HostOpenFolder returns 0
};

class RecordingHost : public HostLibrary {
 public:
  RecordingHost(std::vector<std::string>& calls, std::vector<ScriptedUser> users)
      : m_calls(calls), m_users(std::move(users)) {}

  int32_t HostAttach(int32_t zero, const char* program) override {
    Record("Attach(" + std::to_string(zero) + "," + Show(program) + ")");
    return 1;
  }
  int32_t HostOpenUserList(int32_t a, int32_t b, const char* pattern) override {
    Record("OpenUserList(" + std::to_string(a) + "," + std::to_string(b) + "," + Show(pattern) +
           ")");
    return 1;
  }
  int32_t HostNextUser(UserRecord* record, int32_t one) override {
    Record("NextUser(" + std::to_string(one) + ")");
    lastUserRecord = record;
    if (m_nextUser == m_users.size()) return 0;
    const ScriptedUser& user = m_users[m_nextUser++];
    PutField(record->Name(), UserRecord::kNameSize, user.name);
    PutField(record->Kind(), UserRecord::kKindSize, user.kind);
    return 1;
  }
  int32_t HostOpenFolder(const char* user, const char* folder, int32_t zero,
                         const char* kind) override {
    Record("OpenFolder(" + Show(user) + "," + Show(folder) + "," + std::to_string(zero) + "," +
           Show(kind) + ")");
    for (ScriptedUser& u : m_users) {
      if (FieldText(u.name, UserRecord::kNameSize) == user && u.folderOpens) {
        m_folder = &u.messages;
        m_nextMessage = 0;
        return 1;
      }
    }
    return 0;
  }
  int32_t HostNextMessage(MessageRecord* record, int32_t zero) override {
    Record("NextMessage(" + std::to_string(zero) + ")");
    if (m_folder == nullptr || m_nextMessage == m_folder->size()) return 0;
    const ScriptedMessage& m = (*m_folder)[m_nextMessage++];
    PutField(record->Title(), MessageRecord::kTitleSize, m.title);
    PutField(record->Destination(), MessageRecord::kDestinationSize, m.destination);
    PutField(record->Body(), MessageRecord::kBodySize, m.body);
    record->SetScoreState(m.scoreState);
    record->SetStoredPoints(m.storedPoints);
    return 1;
  }
  int32_t HostStoreScore(int32_t hits, int32_t points) override {
    Record("StoreScore(" + std::to_string(hits) + "," + std::to_string(points) + ")");
    return 1;
  }
  int32_t HostFinishMessage() override {
    Record("FinishMessage");
    return 1;
  }
  int32_t HostCloseFolder() override {
    Record("CloseFolder");
    m_folder = nullptr;
    return 1;
  }
  int32_t HostCloseUserList() override {
    Record("CloseUserList");
    return 1;
  }
  int32_t HostDetach() override {
    Record("Detach");
    return 1;
  }

  const UserRecord* lastUserRecord = nullptr;  // the record HostNextUser was last given

 private:
  void Record(std::string call) { m_calls.push_back(std::move(call)); }

  std::vector<std::string>& m_calls;               // the shared call record
  std::vector<ScriptedUser> m_users;               // delivered in order
  size_t m_nextUser = 0;                           // index of the next user to deliver
  std::vector<ScriptedMessage>* m_folder = nullptr;  // the open folder, or null
  size_t m_nextMessage = 0;                        // index of the next message in it
};

// What the window showed at one refresh.
struct Shown {
  int32_t hitTotal;           // m_nHitTotal
  int32_t pointTotal;         // m_nPointTotal
  std::string user;           // m_strUser
  int32_t messageCount;       // m_nMessageCount
  std::string destination;    // m_strDestination
  std::string title;          // m_strTitle
  std::string messagePoints;  // m_strMessagePoints
};

// The run with a plain queue for a message loop. Refresh and PostCommand go into the same call
// record as the host's calls, so that their order is checked together.
class QueuedRun : public CCheckRun {
 public:
  QueuedRun(HostLibrary& host, std::vector<std::string>& calls) : CCheckRun(host), m_calls(calls) {}

  // Runs queued commands as the window's loop would, until IDOK or IDCANCEL ends the window
  // (which then runs its destruction) or the queue is empty. Returns the ending command, or 0.
  int Drain(int limit = 100000) {
    while (!queue.empty() && limit-- > 0) {
      int command = queue.front();
      if (Step()) return command;
    }
    return 0;
  }
  // Runs the oldest queued command. Returns true when it ended the window.
  bool Step() {
    int command = queue.front();
    queue.pop_front();
    return Dispatch(command);
  }
  // Runs a command. Returns true when it ended the window.
  bool Dispatch(int command) {
    switch (command) {
      case kIdmNextUser:
        OnNextUser();
        return false;
      case kIdmCheckMessage:
        OnCheckMessage();
        return false;
      default:  // IDOK, IDCANCEL: the window ends; queued steps never run
        Destroy();
        return true;
    }
  }
  void Destroy() {
    CloseFolderOnDestroy();
    queue.clear();
  }

  std::deque<int> queue;     // posted commands, oldest first
  std::vector<Shown> shown;  // the fields at each refresh

 protected:
  void PostCommand(int command) override {
    m_calls.push_back("Post(" + std::to_string(command) + ")");
    queue.push_back(command);
  }
  void Refresh() override {
    m_calls.push_back("Refresh");
    shown.push_back({m_nHitTotal, m_nPointTotal, std::string(m_strUser.View()), m_nMessageCount,
                     std::string(m_strDestination.View()), std::string(m_strTitle.View()),
                     std::string(m_strMessagePoints.View())});
  }

 private:
  std::vector<std::string>& m_calls;  // the shared call record
};

}  // namespace testing_host
