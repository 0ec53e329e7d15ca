// The check run's two steps. Each step handles one user or one message, refreshes the window and
// posts the next step; it never calls a step itself, so the stack stays flat however many users
// and messages the host holds, and the message loop runs between any two steps.
//
// The next-message step is the hot path: it runs once per message, and a run may see hundreds of
// thousands of them. It allocates nothing of its own (the display strings reuse their buffers);
// the message record lives on the stack and is not cleared, since the host fills it.
//
// The host is trusted to terminate its texts, but a field without NUL is cut at its last byte
// before anything reads it, so that a faulty host can never make the run read past a field.
#include "run/check_run.h"

#include <cassert>
#include <charconv>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

// a + b, held at the int32 limits instead of wrapping (the scan's counters behave the same).
int32_t SaturatingAdd(int32_t a, int32_t b) {
  int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (sum < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(sum);
}

}  // namespace

void CCheckRun::CheckInvariants() const {
#ifndef NDEBUG
  assert(m_nMessageCount >= 0);
  assert(m_nHitTotal >= 0);
  std::string_view points = m_strMessagePoints.View();
  assert(points.size() <= 11);
  for (size_t i = 0; i < points.size(); ++i) {
    assert((points[i] >= '0' && points[i] <= '9') || (i == 0 && points[i] == '-'));
  }
#endif
}

CCheckRun::CCheckRun(HostLibrary& host) : m_host(host) {
  std::memset(m_userRecord.bytes, 0, sizeof m_userRecord.bytes);
}

int CCheckRun::StartRun() {
  char path[KeywordTable::kPathSize];
  if (!DefaultKeywordFilePath(path)) {
    m_keywordList = KeywordListStatus{};
    m_end = RunEnd::kNoKeyword;
    PostCommand(kIdCancel);
    return 0;
  }
  return StartRunFrom(path);
}

int CCheckRun::StartRunFrom(const char* path) {
  m_keywordList = KeywordListStatus{};
  m_keywordList.path = path != nullptr ? path : "";
  const int loaded = m_keywords.LoadKeywordFileFrom(path, &m_keywordList.error_number);
  m_keywordList.loaded = loaded;
  m_keywordList.ignored = m_keywords.IgnoredLines();
  if (loaded == 0) m_end = RunEnd::kNoKeyword;
  PostCommand(loaded > 0 ? kIdmNextUser : kIdCancel);
  return loaded;
}

void CCheckRun::OnNextUser() {
  if (m_host.HostNextUser(&m_userRecord, 1) == 0) {
    m_strUser = kTextAllUsersDone;
    Refresh();
    m_end = RunEnd::kAllUsersDone;
    PostCommand(kIdOk);
    CheckInvariants();
    return;
  }
  TerminateField(m_userRecord.Name(), UserRecord::kNameSize);
  TerminateField(m_userRecord.Kind(), UserRecord::kKindSize);

  m_nPointTotal = 0;
  m_nHitTotal = 0;
  m_nMessageCount = 0;
  m_strUser = m_userRecord.Name();
  m_strDestination = "";
  m_strTitle = "";
  Refresh();

  // Equal byte for byte up to and including the NUL: "掲示板" followed by anything is no board.
  const char* folder =
      std::strcmp(m_userRecord.Kind(), kTextBoardKind) == 0 ? nullptr : kTextSentFolder;
  m_bFolderOpen = m_host.HostOpenFolder(m_strUser, folder, 0, m_userRecord.Kind());
  if (m_bFolderOpen != 0) {
    PostCommand(kIdmCheckMessage);
    CheckInvariants();
    return;
  }
  m_strUser += kTextOpenError;
  Refresh();
  m_end = RunEnd::kFolderNotOpened;
  PostCommand(kIdCancel);
  CheckInvariants();
}

void CCheckRun::OnCheckMessage() {
  // A second chain of next-message steps (a manual command) ends here once the folder is closed.
  if (m_bFolderOpen == 0) return;

  MessageRecord record;  // filled by the host; deliberately not cleared
  if (m_host.HostNextMessage(&record, 0) == 0) {
    m_host.HostCloseFolder();
    m_bFolderOpen = 0;
    m_strUser += kTextCheckDone;
    Refresh();
    PostCommand(kIdmNextUser);
    CheckInvariants();
    return;
  }

  m_nMessageCount = SaturatingAdd(m_nMessageCount, 1);
  TerminateField(record.Destination(), MessageRecord::kDestinationSize);
  TerminateField(record.Title(), MessageRecord::kTitleSize);
  m_strDestination = record.Destination();
  m_strTitle = record.Title();  // as delivered: scoring rewrites the record's title below
  Refresh();

  if (record.ScoreState() < 0) {
    TerminateField(record.Body(), MessageRecord::kBodySize);
    Score score = ScoreNewMessage(record.Body(), record.Title());
    m_nHitTotal = SaturatingAdd(m_nHitTotal, score.hits);
    char digits[16];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits - 1, score.points);
    (void)ec;  // an int32 always fits in 15 bytes
    *end = '\0';
    m_strMessagePoints = digits;
    m_nPointTotal = SaturatingAdd(m_nPointTotal, score.points);
    m_host.HostStoreScore(score.hits, score.points);
  } else {
    m_nPointTotal = SaturatingAdd(m_nPointTotal, record.StoredPoints());
  }
  Refresh();
  m_host.HostFinishMessage();
  PostCommand(kIdmCheckMessage);
  CheckInvariants();
}

void CCheckRun::CloseFolderOnDestroy() {
  if (m_bFolderOpen != 0) {
    m_host.HostCloseFolder();
    m_bFolderOpen = 0;
  }
  m_keywords.ReleaseKeywords();
}
