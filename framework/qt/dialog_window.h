// The Qt side of one dialog window: a fixed-size top-level widget with an optional menu bar and
// a client area that holds the template's controls at their pixel positions.
//
// Internal to the Qt backend (backend_qt.cpp and testing_qt.cpp). An HWND is a pointer to a
// DialogWindow.
#pragma once

#include <QEvent>
#include <QIcon>
#include <QMargins>
#include <QRect>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/afxwin.h"
#include "framework/resource.h"

class QEventLoop;
class QMenuBar;
class QPainter;

namespace afx_qt {

// A message posted with PostMessage, delivered from the event queue. Qt deletes an event after
// delivering it, or unseen when its window is destroyed; so the events alive are the ones still
// queued (or the one being handled), which tells whether the loop is busy with posted work.
class PostedMessageEvent : public QEvent {
 public:
  static const QEvent::Type kType;
  PostedMessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
      : QEvent(kType), m_message(message), m_wParam(wParam), m_lParam(lParam) {
    ++s_alive;
  }
  ~PostedMessageEvent() override { --s_alive; }
  PostedMessageEvent(const PostedMessageEvent&) = delete;
  PostedMessageEvent& operator=(const PostedMessageEvent&) = delete;
  static int Alive() { return s_alive; }

  UINT m_message;   // the message
  WPARAM m_wParam;  // its first parameter
  LPARAM m_lParam;  // its second parameter

 private:
  static inline int s_alive = 0;  // events constructed and not yet deleted
};

// One control of the template. Its text lives here as code-page-932 bytes; the widget shows it
// from the next flush on (see DialogWindow::Flush).
struct Control {
  const AfxDialogItem* item;  // its template entry
  QWidget* widget;            // the widget (owned by the client area)
  std::string bytes;          // the control's text
  bool widgetStale = false;   // the widget does not show `bytes` yet
  int writes = 0;             // changes of the text since the window was made
};

class DialogWindow;

// The client area: paints through the window's WM_PAINT handling.
class ClientArea : public QWidget {
 public:
  explicit ClientArea(DialogWindow* window);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  DialogWindow* m_window;  // the window this is the client area of
};

// A paint in progress (the HDC of a CPaintDC).
struct PaintContext {
  DialogWindow* window;  // the window being painted
  QPainter* painter;     // null when painting outside a paint event
};

class DialogWindow : public QWidget {
 public:
  DialogWindow(CWnd* wnd, const AfxDialogTemplate& tmpl, DialogWindow* owner);
  ~DialogWindow() override;

  CWnd* wnd() const { return m_wnd; }
  const AfxDialogTemplate& tmpl() const { return m_tmpl; }
  ClientArea* client() const { return m_client; }
  QMenuBar* menuBar() const { return m_menuBar; }
  DialogWindow* owner() const { return m_owner; }
  std::vector<Control>& controls() { return m_controls; }
  Control* FindControl(int id);
  int baseUnitX() const { return m_baseX; }
  int baseUnitY() const { return m_baseY; }
  const QFont& dialogFont() const { return m_font; }

  void RunLoop();
  void EndLoop();

  // Sets control `c`'s text; the widget follows at the next flush.
  void SetText(Control& c, std::string_view bytes);
  // Brings every widget up to its control's text. Runs at most once per frame interval while
  // the loop is busy, and whenever the loop is about to wait.
  void Flush();
  void FlushIfDue();

  // Places the window so that its frame (title bar and borders included) is centred in `area`,
  // for a client of `size`. The window manager's frame is known only once the window is on
  // screen: until then the last frame seen is assumed, and the window is placed again when its
  // own frame turns out different.
  void CentreIn(const QRect& area, const QSize& size);

  HICON SetIcon(HICON icon, bool big);
  bool iconic() const { return isMinimized() || m_testIconic; }
  QSize clientSize() const { return m_testClientSize.value_or(m_client->size()); }

  // Painting.
  bool inPaint = false;              // inside the client area's paint event
  QPainter* painter = nullptr;       // the painter of that paint, once begun
  PaintContext paintContext{};       // what BeginPaint hands out
  int iconDraws = 0;                 // DrawIcon calls
  int lastIconX = 0, lastIconY = 0;  // where the last one drew
  HICON lastIcon = nullptr;          // what the last one drew

  // Test overrides.
  bool m_testIconic = false;              // IsIconic answers true
  std::optional<QSize> m_testClientSize;  // GetClientRect answers this size

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu(const AfxMenuTemplate& menu);
  void BuildControls();
  int ToPixelsX(int units) const;
  int ToPixelsY(int units) const;
  void SendCommand(UINT command);

  CWnd* m_wnd;                      // the framework window this shows
  const AfxDialogTemplate& m_tmpl;  // the template it was made from
  DialogWindow* m_owner;            // owner window, or null
  ClientArea* m_client = nullptr;   // the client area (child)
  QMenuBar* m_menuBar = nullptr;    // the menu bar (child), or null
  QFont m_font;                     // the dialog font
  int m_baseX = 0, m_baseY = 0;     // dialog base units in pixels
  std::vector<Control> m_controls;  // in template order
  QEventLoop* m_loop = nullptr;     // the running modal loop, or null
  bool m_dirty = false;             // some control's widget is stale
  bool m_flushing = false;          // Flush is writing the widgets
  qint64 m_lastFlushNs = 0;         // steady-clock time of the last flush
  bool m_endRequested = false;      // EndLoop came before or during the loop
  std::optional<QRect> m_centreArea;  // where CentreIn centred it, until the frame is known
  QSize m_centreSize;                 // the client size it centred
  QMargins m_centredMargins;          // the frame it assumed
  HICON m_bigIcon = nullptr;        // WM_SETICON ICON_BIG
  HICON m_smallIcon = nullptr;      // WM_SETICON ICON_SMALL
};

// Where a window's frame goes so that it is centred in `area`: its client of `client` pixels
// with `frame` around it.
QPoint CentredFramePosition(const QRect& area, const QSize& client, const QMargins& frame);

inline DialogWindow* FromHwnd(HWND hwnd) { return reinterpret_cast<DialogWindow*>(hwnd); }
inline HWND ToHwnd(DialogWindow* window) { return reinterpret_cast<HWND>(window); }

// The icon of a resource, with all its images; a null QIcon for a null handle.
QIcon IconFromHandle(HICON icon);

// Test hook: called after a dialog has been shown.
extern std::function<void(CWnd*)> g_dialogShownHook;

}  // namespace afx_qt
