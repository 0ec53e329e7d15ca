// The main window and the About box with a recording host (on Qt's off-screen platform on Linux,
// as real Win32 windows under Wine on Windows): what the window shows, how it is laid out, its
// keys, how every way of ending it behaves while a folder is open, and the run going on under
// the About box and under manual menu commands.
#include "ui/keyword_check_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "framework/afx_testing.h"
#include "run/recording_host.h"
#include "testing/test_util.h"
#include "ui/resources.h"

namespace {

namespace fs = std::filesystem;
using test_util::Sjis;
using testing_host::RecordingHost;
using testing_host::ScriptedMessage;
using testing_host::ScriptedUser;

int MulDiv(int a, int b, int c) { return (a * b + c / 2) / c; }

size_t Count(const std::vector<std::string>& calls, const std::string& call) {
  return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}
size_t CountPrefix(const std::vector<std::string>& calls, const std::string& prefix) {
  return static_cast<size_t>(std::count_if(
      calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

// A user whose folder holds `n` new messages; every other one contains the keyword 契約.
ScriptedUser UserWithMessages(const std::string& name, int n) {
  ScriptedUser user{Sjis(name), "", {}, true};
  for (int i = 0; i < n; ++i) {
    user.messages.push_back(ScriptedMessage{Sjis("件名" + std::to_string(i)), "dest@example.jp",
                                            i % 2 == 0 ? Sjis("契約の件") : "nothing", -1, 0});
  }
  return user;
}

class KeywordCheckDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AfxWinInit();
    AfxSetResources(&OrLexmonResources());
    m_keyFile = test_util::ExecutablePath().parent_path() / "orvan.key";
    WriteKeywords(Sjis("契約\t10\n"));
  }
  void TearDown() override {
    AfxTestOnDialogShown(nullptr);
    fs::remove(m_keyFile);
  }
  void WriteKeywords(const std::string& bytes) {
    std::ofstream(m_keyFile, std::ios::binary) << bytes;
  }

  // Runs the window over `users`; `onShown` runs once the main window is shown, before the first
  // step. Returns DoModal's result.
  int Run(std::vector<ScriptedUser> users, std::function<void(CKeywordCheckDlg&)> onShown) {
    host = std::make_unique<RecordingHost>(calls, std::move(users));
    dlg = std::make_unique<CKeywordCheckDlg>(*host);
    app.m_pMainWnd = dlg.get();  // as start-up makes it
    AfxTestOnDialogShown([this, onShown](CWnd* w) {
      if (w == dlg.get() && onShown) onShown(*dlg);
    });
    return dlg->DoModal();
  }

  CWinApp app;                            // the application object, owner of the About box
  fs::path m_keyFile;                     // orvan.key beside the test executable
  std::vector<std::string> calls;         // the host's call record
  std::unique_ptr<RecordingHost> host;    // the host the window runs over
  std::unique_ptr<CKeywordCheckDlg> dlg;  // the window
};

const std::string kAllDone = Sjis("全ユーザー完了");

TEST_F(KeywordCheckDlgTest, ShowsThreeZerosAndFourEmptyBoxesBeforeTheFirstStep) {
  bool checked = false;
  const int code = Run({}, [&](CKeywordCheckDlg& d) {
    checked = true;
    EXPECT_TRUE(calls.empty());  // nothing of the host yet: the first step is only queued
    for (int id : {IDC_MESSAGE_COUNT, IDC_HIT_TOTAL, IDC_POINT_TOTAL}) {
      EXPECT_EQ(d.GetDlgItemText(id), "0") << id;
    }
    for (int id : {IDC_USER, IDC_DESTINATION, IDC_TITLE, IDC_MESSAGE_POINTS}) {
      EXPECT_EQ(d.GetDlgItemText(id), "") << id;
    }
    const AfxTestWindow w = AfxTestDescribe(d.m_hWnd);
    EXPECT_EQ(w.focusedControl, IDC_USER);
    // Tab walks the seven boxes in template order, skipping the labels.
    for (int next : {IDC_MESSAGE_COUNT, IDC_HIT_TOTAL, IDC_POINT_TOTAL, IDC_DESTINATION, IDC_TITLE,
                     IDC_MESSAGE_POINTS, IDC_USER}) {
      AfxTestPressKey(d.m_hWnd, AfxTestKey::kTab);
      EXPECT_EQ(AfxTestDescribe(d.m_hWnd).focusedControl, next);
    }
    std::vector<int> sizes = w.iconSizes;
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 32}));
  });
  EXPECT_TRUE(checked);
  EXPECT_EQ(code, IDOK);  // no user: the run ends at once
  EXPECT_EQ(dlg->m_strUser.View(), kAllDone);
  EXPECT_EQ(calls, (std::vector<std::string>{"NextUser(1)"}));
}

TEST_F(KeywordCheckDlgTest, LayoutTextsAndMenuFollowTheTemplate) {
  Run({}, [&](CKeywordCheckDlg& d) {
    const AfxTestWindow w = AfxTestDescribe(d.m_hWnd);
    EXPECT_EQ(w.caption, Sjis("キーワードチェック"));
    EXPECT_EQ(w.fontFamily, "IPAPGothic");
    EXPECT_EQ(w.fontPixelSize, 12);  // 9 points at 96 dots per inch
    EXPECT_GE(w.baseUnitX, 5);
    EXPECT_LE(w.baseUnitX, 8);
    EXPECT_GE(w.baseUnitY, 12);
    EXPECT_LE(w.baseUnitY, 16);
    EXPECT_EQ(w.clientWidth, MulDiv(254, w.baseUnitX, 4));
    EXPECT_EQ(w.clientHeight, MulDiv(122, w.baseUnitY, 8));
    EXPECT_TRUE(w.fixedSize);
    EXPECT_TRUE(w.hasCloseBox);
    EXPECT_FALSE(w.hasMinimizeBox);
    EXPECT_FALSE(w.hasMaximizeBox);
    EXPECT_EQ(w.owner, nullptr);

    struct Expected {
      int id;            // control id
      const char* text;  // label text in UTF-8, or null for a box
      int x, y, cx, cy;  // dialog units
    };
    const Expected want[] = {
        {IDC_USER, nullptr, 45, 5, 130, 14},
        {-1, "ユーザー", 5, 10, 28, 8},
        {IDC_MESSAGE_COUNT, nullptr, 45, 30, 30, 14},
        {IDC_HIT_TOTAL, nullptr, 75, 85, 40, 14},
        {IDC_POINT_TOTAL, nullptr, 75, 101, 40, 14},
        {-1, "個", 115, 91, 8, 8},
        {-1, "新規", 5, 91, 15, 8},
        {-1, "トータルポイント", 5, 105, 47, 8},
        {IDC_DESTINATION, nullptr, 45, 45, 205, 14},
        {IDC_TITLE, nullptr, 45, 60, 205, 14},
        {-1, "宛先", 5, 50, 15, 8},
        {-1, "タイトル", 5, 65, 23, 8},
        {IDC_MESSAGE_POINTS, nullptr, 135, 85, 40, 14},
    };
    const std::vector<AfxTestControl> controls = AfxTestControls(d.m_hWnd);
    ASSERT_EQ(controls.size(), std::size(want));
    for (size_t i = 0; i < controls.size(); ++i) {
      const AfxTestControl& c = controls[i];
      const Expected& e = want[i];
      SCOPED_TRACE("control " + std::to_string(i + 1));
      EXPECT_EQ(c.id, e.id);
      EXPECT_EQ(c.rect.left, MulDiv(e.x, w.baseUnitX, 4));
      EXPECT_EQ(c.rect.top, MulDiv(e.y, w.baseUnitY, 8));
      EXPECT_EQ(c.rect.right - c.rect.left, MulDiv(e.cx, w.baseUnitX, 4));
      EXPECT_EQ(c.rect.bottom - c.rect.top, MulDiv(e.cy, w.baseUnitY, 8));
      if (e.text != nullptr) {
        EXPECT_EQ(c.kind, AfxControlKind::kStatic);
        EXPECT_EQ(c.text, Sjis(e.text));
        EXPECT_FALSE(c.tabStop);
        // Every label fits its box, on one line.
        EXPECT_LE(c.textWidth, c.rect.right - c.rect.left) << e.text;
        EXPECT_LE(c.textHeight, c.rect.bottom - c.rect.top + 4) << e.text;
      } else {
        EXPECT_EQ(c.kind, AfxControlKind::kEdit);
        EXPECT_TRUE(c.readOnly);
        EXPECT_TRUE(c.bordered);
        EXPECT_TRUE(c.tabStop);
      }
    }

    ASSERT_EQ(w.menu.size(), 3u);
    EXPECT_EQ(w.menu[0].text, Sjis("ﾌｧｲﾙ(&F)"));
    EXPECT_EQ(w.menu[1].text, Sjis("ﾍﾙﾌﾟ(&H)"));
    EXPECT_EQ(w.menu[2].text, "TEST");
    const std::vector<std::pair<std::string, UINT>> items[] = {
        {{Sjis("終了(&X)"), 32771}},
        {{Sjis("ﾊﾞｰｼﾞｮﾝ情報(&A) .."), 32772}},
        {{Sjis("ユーザー切り替え"), 32773}, {Sjis("メッセージチェック"), 32774}},
    };
    for (size_t p = 0; p < 3; ++p) {
      ASSERT_EQ(w.menu[p].items.size(), items[p].size());
      for (size_t i = 0; i < items[p].size(); ++i) {
        EXPECT_EQ(w.menu[p].items[i].text, items[p][i].first);
        EXPECT_EQ(w.menu[p].items[i].command, items[p][i].second);
        EXPECT_TRUE(w.menu[p].items[i].enabled);
      }
    }
  });
}

TEST_F(KeywordCheckDlgTest, EveryEndWhileAFolderIsOpenClosesItOnceAndRunsNoFurtherStep) {
  struct Case {
    const char* name;                 // what the operator does
    std::function<void(HWND)> input;  // ... done
    int code;                         // DoModal's result
    bool readBack;                    // the boxes are read back into the fields
  };
  const Case cases[] = {
      {"exit command", [](HWND h) { AfxTestChooseMenu(h, 32771); }, IDOK, true},
      {"Enter", [](HWND h) { AfxTestPressKey(h, AfxTestKey::kEnter); }, IDOK, true},
      {"Esc", [](HWND h) { AfxTestPressKey(h, AfxTestKey::kEscape); }, IDCANCEL, false},
      {"close box", [](HWND h) { AfxTestCloseBox(h); }, IDCANCEL, false},
      {"Alt+F4", [](HWND h) { AfxTestPressKey(h, AfxTestKey::kAltF4); }, IDCANCEL, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Alt+F4 is the window manager's on Linux, out of the program's reach.
    if (std::string(c.name) == "Alt+F4" && !AfxTestCanPressKey(AfxTestKey::kAltF4)) continue;
    calls.clear();
    bool acted = false;
    const int code = Run({UserWithMessages("山田", 20)}, [&](CKeywordCheckDlg& d) {
      // Queued behind the first step: runs when the folder is open and 32774 is queued.
      AfxTestPost([&] {
        ASSERT_NE(d.m_bFolderOpen, 0);
        d.SetDlgItemText(IDC_TITLE, "typed");  // shows whether the boxes are read back
        c.input(d.m_hWnd);
        acted = true;
      });
    });
    EXPECT_TRUE(acted);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(Count(calls, "CloseFolder"), 1u);
    EXPECT_EQ(calls.back(), "CloseFolder");
    EXPECT_EQ(CountPrefix(calls, "NextMessage"), 0u);  // the queued step never ran
    EXPECT_EQ(dlg->m_bFolderOpen, 0);
    EXPECT_EQ(dlg->m_strTitle == "typed", c.readBack);
    EXPECT_EQ(dlg->m_hWnd, nullptr);
    for (const CString* slot : dlg->m_keywords.m_pKeywords) EXPECT_EQ(slot, nullptr);
  }
}

TEST_F(KeywordCheckDlgTest, F10AndTheMenuMnemonicsOpenTheirMenusWhileTheRunGoesOn) {
  struct Case {
    const char* name;  // the key
    AfxTestKey key;    // ... pressed
    int menu;          // the drop-down menu it opens
  };
  const Case cases[] = {{"F10", AfxTestKey::kF10, 0},
                        {"Alt+F", AfxTestKey::kAltF, 0},
                        {"Alt+H", AfxTestKey::kAltH, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // On Linux the menu bar's mnemonics are the toolkit's shortcuts, which only input from the
    // window system reaches.
    if (!AfxTestCanPressKey(c.key)) continue;
    calls.clear();
    int active = -2;
    std::function<void()> waitForSteps;
    const int code = Run({UserWithMessages("山田", 3)}, [&](CKeywordCheckDlg& d) {
      const HWND h = d.m_hWnd;
      AfxTestPost([&, h] {
        // Runs once the key is handled: on Windows inside the system's menu loop, which goes on
        // dispatching the run's steps.
        AfxTestPost([&, h] {
          active = AfxTestActiveMenu(h);
          waitForSteps = [&, h] {
            if (CountPrefix(calls, "NextMessage") < 2) {
              AfxTestPost(waitForSteps);
              return;
            }
            AfxTestCloseMenu(h);
          };
          waitForSteps();
        });
        AfxTestPressKey(h, c.key);
      });
    });
    EXPECT_EQ(active, c.menu);
    EXPECT_EQ(code, IDOK);  // the run went on to its end
    EXPECT_EQ(CountPrefix(calls, "StoreScore"), 3u);
  }
}

TEST_F(KeywordCheckDlgTest, RunGoesOnUnderTheAboutBoxAndEndsOnlyAfterItCloses) {
  bool aboutChecked = false;
  bool closedAbout = false;
  std::function<void()> waitForEnd;
  const int code =
      Run({UserWithMessages("山田", 30), UserWithMessages("佐藤", 5)}, [&](CKeywordCheckDlg& d) {
        AfxTestOnDialogShown([&](CWnd* w) {
          if (w == &d) return;
          // The About box: its texts and layout.
          aboutChecked = true;
          const AfxTestWindow about = AfxTestDescribe(w->m_hWnd);
          EXPECT_EQ(about.caption, Sjis("ﾊﾞｰｼﾞｮﾝ情報 orLexmon"));
          EXPECT_EQ(about.owner, d.m_hWnd);
          EXPECT_TRUE(about.modal);
          // Centred over the main window.
          const AfxTestWindow main = AfxTestDescribe(d.m_hWnd);
          EXPECT_NEAR(about.screenX + about.clientWidth / 2, main.screenX + main.clientWidth / 2,
                      2);
          EXPECT_NEAR(about.screenY + about.clientHeight / 2, main.screenY + main.clientHeight / 2,
                      30);
          EXPECT_EQ(about.clientWidth, MulDiv(217, about.baseUnitX, 4));
          EXPECT_EQ(about.clientHeight, MulDiv(55, about.baseUnitY, 8));
          const std::vector<AfxTestControl> controls = AfxTestControls(w->m_hWnd);
          ASSERT_EQ(controls.size(), 4u);
          EXPECT_EQ(controls[0].rect.right - controls[0].rect.left, 32);  // the icon, 32 x 32
          EXPECT_EQ(controls[1].text, "orLexmon Version 1.0");
          EXPECT_FALSE(controls[2].text.empty());
          EXPECT_LE(controls[2].textWidth, controls[2].rect.right - controls[2].rect.left);
          EXPECT_EQ(controls[3].id, IDOK);
          EXPECT_EQ(controls[3].text, "OK");
          EXPECT_TRUE(controls[3].isDefault);
          // Wait, from the About box's loop, until the run has ended the main window.
          const HWND aboutHwnd = w->m_hWnd;
          waitForEnd = [&, aboutHwnd] {
            if (Count(calls, "NextUser(1)") < 3) {
              AfxTestPost(waitForEnd);
              return;
            }
            EXPECT_EQ(d.m_strUser.View(), kAllDone);
            EXPECT_NE(d.m_hWnd, nullptr);  // ended, but its loop waits for the About box
            closedAbout = true;
            AfxTestPressKey(aboutHwnd, AfxTestKey::kEnter);
          };
          AfxTestPost(waitForEnd);
        });
        AfxTestPost([&] { AfxTestChooseMenu(d.m_hWnd, 32772); });
      });
  EXPECT_TRUE(aboutChecked);
  EXPECT_TRUE(closedAbout);
  EXPECT_EQ(code, IDOK);
  EXPECT_EQ(CountPrefix(calls, "StoreScore"), 35u);
  EXPECT_EQ(Count(calls, "CloseFolder"), 2u);
}

TEST_F(KeywordCheckDlgTest, ManualMenuStepsRunAtOnceBesideTheQueuedOnes) {
  const int code =
      Run({UserWithMessages("山田", 6), UserWithMessages("佐藤", 3)}, [&](CKeywordCheckDlg& d) {
        AfxTestPost([&] {
          ASSERT_NE(d.m_bFolderOpen, 0);
          const size_t before = CountPrefix(calls, "NextMessage");
          AfxTestChooseMenu(d.m_hWnd, 32774);  // メッセージチェック
          EXPECT_EQ(CountPrefix(calls, "NextMessage"), before + 1);
          EXPECT_EQ(d.m_nMessageCount, 1);
        });
      });
  // Two chains share the folder; each message is still handled once, and the run ends normally.
  EXPECT_EQ(code, IDOK);
  EXPECT_EQ(CountPrefix(calls, "StoreScore"), 9u);
  EXPECT_EQ(Count(calls, "CloseFolder"), 2u);
  EXPECT_EQ(dlg->m_strUser.View(), kAllDone);
}

TEST_F(KeywordCheckDlgTest, RefreshRewritesOnlyChangedBoxes) {
  int userWrites = -1;
  int countWrites = -1;
  std::function<void()> probe;
  Run({UserWithMessages("山田", 40)}, [&](CKeywordCheckDlg& d) {
    probe = [&, h = d.m_hWnd] {
      if (d.m_nMessageCount == 40) {
        userWrites = AfxTestControlWrites(h, IDC_USER);
        countWrites = AfxTestControlWrites(h, IDC_MESSAGE_COUNT);
        return;
      }
      AfxTestPost(probe);
    };
    AfxTestPost(probe);
  });
  // The user line: only the name (it was empty before). The count: the first "0", then 1..40
  // (the reset to 0 at the new user writes nothing, as the box shows "0" already).
  EXPECT_EQ(userWrites, 1);
  EXPECT_EQ(countWrites, 41);
}

TEST_F(KeywordCheckDlgTest, MinimizedWindowDrawsItsIconCentred) {
  struct Case {
    int w, h;  // client size
    int x, y;  // where the icon goes
  };
  const Case cases[] = {{36, 36, 2, 2}, {30, 36, 0, 2}, {29, 36, -1, 2}, {31, 29, 0, -1}};
  Run({}, [&](CKeywordCheckDlg& d) {
    const HWND h = d.m_hWnd;
    AfxTestRepaint(h);
    EXPECT_EQ(AfxTestLastIconDraw(h).count, 0);  // not minimized: default painting
    AfxTestSetIconic(h, true);
    for (const Case& c : cases) {
      AfxTestSetClientSize(h, c.w, c.h);
      AfxTestRepaint(h);
      const AfxTestIconDraw draw = AfxTestLastIconDraw(h);
      EXPECT_EQ(draw.x, c.x) << c.w << "x" << c.h;
      EXPECT_EQ(draw.y, c.y) << c.w << "x" << c.h;
      EXPECT_EQ(draw.icon, d.m_hIcon);
    }
    EXPECT_EQ(d.SendMessage(WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(d.m_hIcon));
    AfxTestSetIconic(h, false);
  });
}

TEST_F(KeywordCheckDlgTest, MissingOrEmptyKeywordListClosesTheWindowWithoutTouchingTheHost) {
  for (const char* content : {static_cast<const char*>(nullptr), "", "\t\r\n\n"}) {
    SCOPED_TRACE(content == nullptr ? "missing" : "empty");
    calls.clear();
    fs::remove(m_keyFile);
    if (content != nullptr) WriteKeywords(content);
    bool shown = false;
    const int code = Run({UserWithMessages("山田", 3)}, [&](CKeywordCheckDlg&) { shown = true; });
    EXPECT_TRUE(shown);         // it opens ...
    EXPECT_EQ(code, IDCANCEL);  // ... and closes at once
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(dlg->m_strUser.IsEmpty());
  }
}

}  // namespace
