// Start-up and shut-down in-process, over a recording host (on Qt's off-screen platform on Linux,
// with the real windows under Wine on Windows): the host calls and their order in every way the
// run can end, the exit status, and help on F1.
#include "app/keyword_check_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "framework/afx_testing.h"
#include "run/recording_host.h"
#include "scoring/keyword_table.h"
#include "testing/test_util.h"
#include "ui/keyword_check_dlg.h"

namespace {

namespace fs = std::filesystem;
using testing_host::RecordingHost;
using testing_host::ScriptedMessage;
using testing_host::ScriptedUser;

int Count(const std::vector<std::string>& calls, const std::string& call) {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

// A host whose first two operations answer as told, and that reports a failure when given one.
class StartUpHost : public RecordingHost {
 public:
  StartUpHost(std::vector<std::string>& calls, std::vector<ScriptedUser> users, int32_t attach,
              int32_t openUserList, std::string failure = {})
      : RecordingHost(calls, std::move(users)),
        m_attach(attach),
        m_open(openUserList),
        m_failure(std::move(failure)) {}
  int32_t HostAttach(int32_t zero, const char* program) override {
    RecordingHost::HostAttach(zero, program);
    return m_attach;
  }
  int32_t HostOpenUserList(int32_t a, int32_t b, const char* pattern) override {
    RecordingHost::HostOpenUserList(a, b, pattern);
    return m_open;
  }
  int32_t HostLastFailure(char* buffer, int32_t size) override {
    if (m_failure.empty()) return 0;
    std::snprintf(buffer, static_cast<size_t>(size), "%s", m_failure.c_str());
    return 1;
  }

 private:
  int32_t m_attach;       // HostAttach's answer
  int32_t m_open;         // HostOpenUserList's answer
  std::string m_failure;  // the failure it reports, or empty
};

class TestApp : public CKeywordCheckApp {
 public:
  std::vector<DWORD> help;  // the help contexts asked for
  void WinHelp(DWORD dwData, UINT) override { help.push_back(dwData); }
};

class StartUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AfxWinInit();
    m_keyFile = test_util::ExecutablePath().parent_path() / "orvan.key";
    std::ofstream(m_keyFile, std::ios::binary) << "abc\t3\n";
  }
  void TearDown() override {
    AfxTestOnDialogShown(nullptr);
    SetHostLibrary(nullptr);
    fs::remove(m_keyFile);
  }

  // Runs the program's start-up over a host with `users`; `onShown` acts once the main window is
  // shown. Returns the exit status; keeps what was written to standard error.
  int Start(std::vector<ScriptedUser> users, int32_t attach = 1, int32_t openUserList = 1,
            std::function<void(CWnd*)> onShown = nullptr, std::string failure = {}) {
    StartUpHost host(calls, std::move(users), attach, openUserList, std::move(failure));
    SetHostLibrary(&host);
    app.reset();  // one application object at a time
    app = std::make_unique<TestApp>();
    AfxTestOnDialogShown([&](CWnd* w) {
      if (w == app->m_pMainWnd && onShown) onShown(w);
    });
    ::testing::internal::CaptureStderr();
    const int status = AfxWinMain();
    errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(app->m_pMainWnd, nullptr);
    return status;
  }
  std::vector<std::string> Tail(size_t n) const {
    return std::vector<std::string>(calls.end() - static_cast<std::ptrdiff_t>(n), calls.end());
  }

  fs::path m_keyFile;              // orvan.key beside the test executable
  std::vector<std::string> calls;  // the host's call record
  std::string errors;              // standard error of the last start
  std::unique_ptr<TestApp> app;    // the application object of the last start
};

ScriptedUser User(const char* name, int messages, bool opens = true) {
  ScriptedUser user{name, "", {}, opens};
  for (int i = 0; i < messages; ++i) user.messages.push_back({"t", "d", "ABC abc", -1, 0});
  return user;
}

TEST_F(StartUpTest, WholeRunEndsWithAllUsersDoneAndStatusZero) {
  for (int32_t attach : {1, 0}) {  // a failed attach changes nothing
    calls.clear();
    EXPECT_EQ(Start({User("a", 2), User("b", 0)}, attach), kExitAllUsersDone);
    EXPECT_EQ(errors, "");
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0], "Attach(0,orLexmon)");
    EXPECT_EQ(calls[1], "OpenUserList(0,0,*)");
    EXPECT_EQ(Tail(3), (std::vector<std::string>{"NextUser(1)", "CloseUserList", "Detach"}));
    EXPECT_EQ(Count(calls, "StoreScore(2,6)"), 2);
  }
}

// A user list that did not open is a host failure, though the window runs as usual.
TEST_F(StartUpTest, UserListThatDidNotOpenIsNotClosedAndIsAHostFailure) {
  EXPECT_EQ(Start({User("a", 1)}, 1, 0), kExitHostFailure);
  EXPECT_EQ(Tail(2), (std::vector<std::string>{"NextUser(1)", "Detach"}));
  EXPECT_EQ(Count(calls, "CloseUserList"), 0);
  EXPECT_EQ(Count(calls, "StoreScore(2,6)"), 1);  // the window ran as usual
  EXPECT_EQ(errors, "orlexmon: the host's user list did not open\n");
}

// A failure that the host reports, asked for once it is detached, turns a completed run, or a
// cancelled one, into a host failure.
TEST_F(StartUpTest, FailureTheHostReportsGivesStatusFour) {
  EXPECT_EQ(Start({User("a", 1)}, 1, 1, nullptr, "3 scores not written"), kExitHostFailure);
  EXPECT_EQ(errors, "orlexmon: host failure: 3 scores not written\n");
  EXPECT_EQ(calls.back(), "Detach");
  EXPECT_EQ(Start({User("a", 1), User("b", 1, false)}, 1, 1, nullptr, "cannot read"),
            kExitHostFailure);
  EXPECT_EQ(errors, "orlexmon: host failure: cannot read\n");
  EXPECT_EQ(Start({User("a", 1)}, 1, 0, nullptr, "the store is missing"), kExitHostFailure);
  EXPECT_EQ(errors, "orlexmon: the host's user list did not open: the store is missing\n");
}

TEST_F(StartUpTest, NoKeywordEndsAtOnceWithStatusOne) {
  fs::remove(m_keyFile);
  EXPECT_EQ(Start({User("a", 1)}), kExitRunNotDone);
  EXPECT_EQ(calls, (std::vector<std::string>{"Attach(0,orLexmon)", "OpenUserList(0,0,*)",
                                             "CloseUserList", "Detach"}));
  // The list's path as the program forms it ("\orvan.key" after the directory on Windows).
  char path[KeywordTable::kPathSize];
  ASSERT_TRUE(DefaultKeywordFilePath(path));
  EXPECT_EQ(errors, "orlexmon: cannot read the keyword list " + std::string(path) +
                        ": No such file or directory\n");
  std::ofstream(m_keyFile, std::ios::binary) << "\t\n";
  EXPECT_EQ(Start({User("a", 1)}), kExitRunNotDone);
  EXPECT_EQ(errors, "orlexmon: no keyword in the keyword list " + std::string(path) + "\n");
}

TEST_F(StartUpTest, FolderThatDoesNotOpenEndsTheRunWithStatusOne) {
  EXPECT_EQ(Start({User("a", 1), User("b", 1, false), User("c", 1)}), kExitRunNotDone);
  EXPECT_EQ(Tail(3),
            (std::vector<std::string>{"OpenFolder(b,<sent>,0,)", "CloseUserList", "Detach"}));
  EXPECT_EQ(errors,
            "orlexmon: the folder of user b could not be opened; the users after it were not "
            "checked\n");
}

TEST_F(StartUpTest, OperatorExitClosesTheFolderBeforeTheUserListAndDetach) {
  const int status = Start({User("a", 50)}, 1, 1, [](CWnd* w) {
    AfxTestPost([w] { AfxTestChooseMenu(w->m_hWnd, 32771); });  // 終了 while the folder is open
  });
  EXPECT_EQ(status, kExitRunNotDone);
  EXPECT_EQ(errors, "orlexmon: the run was ended before every user was checked\n");
  EXPECT_EQ(Tail(3), (std::vector<std::string>{"CloseFolder", "CloseUserList", "Detach"}));
  EXPECT_EQ(Count(calls, "CloseFolder"), 1);
}

TEST_F(StartUpTest, WindowThatCannotBeMadeStillClosesTheUserListAndDetaches) {
  StartUpHost host(calls, {User("a", 1)}, 1, 1);
  SetHostLibrary(&host);
  TestApp testApp;
  const AfxResourceTable none = {};
  AfxSetResources(&none);  // no dialog template: DoModal gives -1
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(AfxWinMain(), kExitRunNotDone);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "orlexmon: the window could not be made\n");
  EXPECT_EQ(calls, (std::vector<std::string>{"Attach(0,orLexmon)", "OpenUserList(0,0,*)",
                                             "CloseUserList", "Detach"}));
  EXPECT_EQ(testApp.m_pMainWnd, nullptr);
}

TEST_F(StartUpTest, F1AsksForTheMainWindowsHelpContext) {
  Start({User("a", 3)}, 1, 1, [](CWnd* w) {
    AfxTestPost([w] {
      AfxTestPressKey(w->m_hWnd, AfxTestKey::kF1);
      AfxTestPressKey(w->m_hWnd, AfxTestKey::kEscape);
    });
  });
  EXPECT_EQ(app->help, std::vector<DWORD>{0x20000 + 102});
}

}  // namespace
