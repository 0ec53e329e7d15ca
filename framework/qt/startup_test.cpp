// The Qt backend's start-up choices: which platforms are tried, the toolkit's texts in
// Japanese, and where a centred window's frame goes.
#include "framework/qt/startup.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <memory>

#include "framework/afxwin.h"
#include "framework/qt/dialog_window.h"

TEST(QtStartUp, EveryPlatformListEndsOffScreen) {
  struct Case {
    const char* chosen;  // the operator's QT_QPA_PLATFORM
    bool displayNamed;   // DISPLAY or WAYLAND_DISPLAY set
    const char* tried;   // what the toolkit is told to try
  };
  const Case cases[] = {
      {nullptr, false, "offscreen"},
      {"", false, "offscreen"},
      {nullptr, true, "xcb;wayland;offscreen"},  // a stale display falls back off-screen
      {"xcb", true, "xcb;offscreen"},
      {"offscreen", true, "offscreen"},
      {"vnc", false, "vnc;offscreen"},
      {"wayland;offscreen", true, "wayland;offscreen"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(afx_qt::PlatformsToTry(c.chosen, c.displayNamed), c.tried)
        << (c.chosen != nullptr ? c.chosen : "(unset)") << " " << c.displayNamed;
  }
}

TEST(QtStartUp, BoxContextMenuIsJapanese) {
  AfxWinInit();  // the application object, with the translation installed
  QLineEdit box;
  box.setReadOnly(true);
  box.setText(QStringLiteral("abc"));
  std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
  QStringList texts;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator()) texts << action->text();
  }
  ASSERT_FALSE(texts.isEmpty());
  EXPECT_TRUE(texts.filter(QString::fromUtf8("コピー")).size() == 1)
      << texts.join(u'|').toStdString();
  EXPECT_TRUE(texts.filter(QStringLiteral("Copy")).isEmpty()) << texts.join(u'|').toStdString();
}

TEST(QtStartUp, CentringCountsTheWindowFrame) {
  const QRect screen(0, 0, 1000, 800);  // centre (499, 399)
  const QSize client(446, 219);
  // Without a frame the client is centred; a title bar of 20 and borders of 1 move the frame's
  // corner up by half their height, so that the whole window is centred.
  EXPECT_EQ(afx_qt::CentredFramePosition(screen, client, QMargins()), QPoint(276, 290));
  EXPECT_EQ(afx_qt::CentredFramePosition(screen, client, QMargins(1, 20, 1, 1)), QPoint(275, 279));
}
