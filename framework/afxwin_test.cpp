// Tests of the framework over its backend (Qt's off-screen platform on Linux, the real Win32
// windows under Wine on Windows): routing of sent and posted commands, the modal dialog's life
// (nested loops included), keys, data exchange and the integer rules of DDX_Text.
#include "framework/afxwin.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/afx_testing.h"
#include "framework/test_resources.h"

namespace {

using namespace framework_test;

// A mixin like the check run: handlers live in a second base class.
class StepMixin {
 public:
  virtual ~StepMixin() = default;
  void OnStep() { log.push_back("step"); }
  std::vector<std::string> log;  // what happened, in order
};

class CInnerDlg : public CDialog {
 public:
  CInnerDlg() : CDialog(kDlgInner) {}
  DECLARE_MESSAGE_MAP()
};
// clang-format off
BEGIN_MESSAGE_MAP(CInnerDlg, CDialog)
END_MESSAGE_MAP()
// clang-format on

class COuterDlg : public CDialog, public StepMixin {
 public:
  explicit COuterDlg(UINT id = kDlgOuter) : CDialog(id) {}
  int m_nNumber = 0;
  CString m_strText;
  std::vector<UINT> posts;        // posted by OnInitDialog
  std::function<void()> onInner;  // runs while the inner dialog is open

  BOOL OnInitDialog() override {
    log.push_back("init");
    CDialog::OnInitDialog();
    for (UINT c : posts) PostMessage(WM_COMMAND, c, 0);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, kIdNumber, m_nNumber);
    DDX_Text(pDX, kIdText, m_strText);
  }
  void OnInner() {
    log.push_back("inner-open");
    CInnerDlg inner;
    if (onInner) AfxTestPost(onInner);
    const int code = inner.DoModal();
    log.push_back("inner-closed " + std::to_string(code));
  }
  void OnDestroy() {
    CDialog::OnDestroy();
    log.push_back("destroy");
  }
  void OnCancel() override {
    log.push_back("cancel");
    CDialog::OnCancel();
  }
  DECLARE_MESSAGE_MAP()
};
// clang-format off
BEGIN_MESSAGE_MAP(COuterDlg, CDialog)
  ON_COMMAND(kCmdStep, OnStep)
  ON_COMMAND(kCmdInner, OnInner)
  ON_WM_DESTROY()
END_MESSAGE_MAP()
// clang-format on

class CTestApp : public CWinApp {
 public:
  std::vector<DWORD> helpContexts;  // what WinHelp was asked for
  void WinHelp(DWORD dwData, UINT) override { helpContexts.push_back(dwData); }
  DECLARE_MESSAGE_MAP()
};
// clang-format off
BEGIN_MESSAGE_MAP(CTestApp, CWinApp)
  ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()
// clang-format on

class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AfxWinInit();
    AfxSetResources(&FrameworkTestResources());
  }
  void TearDown() override { AfxTestOnDialogShown(nullptr); }
};

TEST(DataExchangeRules, IntegersParseAsTheBoxReadsThem) {
  struct Case {
    const char* text;  // box text
    bool ok;           // reads back
    int value;         // value when it does
  };
  const Case cases[] = {
      {"0", true, 0},
      {"-12", true, -12},
      {" \t+7\t ", true, 7},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},
      {"12x", false, 0},
      {"", false, 0},
      {"  ", false, 0},
      {"- 1", false, 0},
      {"1 2", false, 0},
      {"\x82\x4f", false, 0},  // full-width zero is not a digit
      // Only the first 31 characters are read: junk after them does not count.
      {"5                              junk", true, 5},
  };
  for (const Case& c : cases) {
    int value = 99;
    EXPECT_EQ(AfxParseInt(c.text, &value), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
  EXPECT_EQ(AfxFormatInt(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(AfxFormatInt(42), "42");
}

TEST_F(FrameworkTest, MissingTemplateGivesMinusOneAndCallsNothing) {
  COuterDlg dlg(999);
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_TRUE(dlg.log.empty());
}

TEST_F(FrameworkTest, PostedCommandsRunInOrderAndNoneAfterTheEnd) {
  COuterDlg dlg;
  dlg.posts = {kCmdStep, kCmdStep, IDCANCEL, kCmdStep};
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  const std::vector<std::string> want = {"init", "step", "step", "cancel", "destroy"};
  EXPECT_EQ(dlg.log, want);
}

TEST_F(FrameworkTest, OuterEndedDuringInnerLoopStopsOnlyAfterInnerCloses) {
  COuterDlg dlg;
  dlg.posts = {kCmdInner};
  dlg.onInner = [&] {
    // Still inside the inner loop: commands to the outer dialog run from it.
    dlg.PostMessage(WM_COMMAND, kCmdStep, 0);
    dlg.PostMessage(WM_COMMAND, IDCANCEL, 0);
    dlg.PostMessage(WM_COMMAND, kCmdStep, 0);  // queued after the end: never runs
    AfxTestPost([&] {
      dlg.log.push_back("outer still there");
      ASSERT_NE(AfxGetActiveDialog(), nullptr);
      AfxTestPressKey(AfxGetActiveDialog()->m_hWnd, AfxTestKey::kEnter);
    });
  };
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  const std::vector<std::string> want = {
      "init", "inner-open", "step", "cancel", "outer still there", "inner-closed 1", "destroy"};
  EXPECT_EQ(dlg.log, want);
}

TEST_F(FrameworkTest, KeysAndCloseBoxEndTheDialog) {
  struct Case {
    std::function<void(HWND)> input;  // what the operator does
    int code;                         // the end code
    bool altF4;                       // it is Alt+F4 (the window manager's key on Linux)
  };
  const Case cases[] = {
      {[](HWND h) { AfxTestPressKey(h, AfxTestKey::kEnter); }, IDOK, false},
      {[](HWND h) { AfxTestPressKey(h, AfxTestKey::kEscape); }, IDCANCEL, false},
      {[](HWND h) { AfxTestCloseBox(h); }, IDCANCEL, false},
      {[](HWND h) { AfxTestPressKey(h, AfxTestKey::kAltF4); }, IDCANCEL, true},
  };
  for (const Case& c : cases) {
    if (c.altF4 && !AfxTestCanPressKey(AfxTestKey::kAltF4)) continue;
    COuterDlg dlg;
    AfxTestOnDialogShown([&](CWnd* w) { AfxTestPost([&, w] { c.input(w->m_hWnd); }); });
    EXPECT_EQ(dlg.DoModal(), c.code);
  }
}

TEST_F(FrameworkTest, HelpKeyReachesTheApplicationsCommandTable) {
  CTestApp app;
  COuterDlg dlg;
  AfxTestOnDialogShown([&](CWnd* w) {
    AfxTestPost([w] {
      AfxTestPressKey(w->m_hWnd, AfxTestKey::kShiftF1);  // not help
      AfxTestPressKey(w->m_hWnd, AfxTestKey::kF1);
      AfxTestPressKey(w->m_hWnd, AfxTestKey::kEscape);
    });
  });
  dlg.DoModal();
  EXPECT_EQ(app.helpContexts, std::vector<DWORD>{HID_BASE_RESOURCE + kDlgOuter});
}

TEST_F(FrameworkTest, F10OpensTheFirstMenu) {
  COuterDlg dlg;
  int active = -2;
  AfxTestOnDialogShown([&](CWnd* w) {
    AfxTestPost([&, w] {
      EXPECT_EQ(AfxTestActiveMenu(w->m_hWnd), -1);
      // Runs once the key is handled, from whatever loop then runs (a menu's own, if any).
      AfxTestPost([&, w] {
        active = AfxTestActiveMenu(w->m_hWnd);
        AfxTestCloseMenu(w->m_hWnd);
        dlg.EndDialog(IDCANCEL);
      });
      AfxTestPressKey(w->m_hWnd, AfxTestKey::kF10);
    });
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(active, 0);
}

TEST_F(FrameworkTest, MenuChoiceRunsAtOnceAndMainWindowIsClearedOnDestroy) {
  CTestApp app;
  COuterDlg dlg;
  app.m_pMainWnd = &dlg;
  AfxTestOnDialogShown([&](CWnd* w) {
    AfxTestPost([&, w] {
      EXPECT_TRUE(AfxTestChooseMenu(w->m_hWnd, kCmdStep));
      EXPECT_EQ(dlg.log.back(), "step");
      EXPECT_FALSE(AfxTestChooseMenu(w->m_hWnd, 12345));
      dlg.EndDialog(IDOK);
    });
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(app.m_pMainWnd, nullptr);
}

TEST_F(FrameworkTest, DataExchangeWritesOnlyChangedTextsAndReadsBack) {
  COuterDlg dlg;
  dlg.m_nNumber = -5;
  dlg.m_strText = "\x83\x86\x81\x5B\x83\x55\x81\x5B";  // ユーザー
  AfxTestOnDialogShown([&](CWnd* w) {
    const HWND h = w->m_hWnd;
    EXPECT_EQ(dlg.GetDlgItemText(kIdNumber), "-5");
    EXPECT_EQ(dlg.GetDlgItemText(kIdText), "\x83\x86\x81\x5B\x83\x55\x81\x5B");
    const int writes = AfxTestControlWrites(h, kIdText);
    dlg.UpdateData(FALSE);
    EXPECT_EQ(AfxTestControlWrites(h, kIdText), writes);
    dlg.m_strText = "abc";
    dlg.UpdateData(FALSE);
    EXPECT_EQ(AfxTestControlWrites(h, kIdText), writes + 1);

    // Read back: text replaced whole; a box that is no integer fails and keeps the field.
    dlg.SetDlgItemText(kIdText, "\x8C\x5F\x96\xF1 x");  // 契約 x
    dlg.SetDlgItemText(kIdNumber, " 17 ");
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.m_nNumber, 17);
    EXPECT_EQ(dlg.m_strText, "\x8C\x5F\x96\xF1 x");
    dlg.SetDlgItemText(kIdNumber, "17a");
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.m_nNumber, 17);
    AfxTestPost([h] {
      AfxTestPressKey(h, AfxTestKey::kEnter);  // OnOK fails to read back: stays open
      AfxTestPressKey(h, AfxTestKey::kEscape);
    });
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

}  // namespace
