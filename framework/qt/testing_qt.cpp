// The test access of afx_testing.h over the Qt backend.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include "framework/afx_testing.h"
#include "framework/qt/cp932.h"
#include "framework/qt/dialog_window.h"

using afx_qt::DialogWindow;
using afx_qt::FromHwnd;

namespace {

// Runs a callback when the event reaches it.
class CallbackEvent : public QEvent {
 public:
  explicit CallbackEvent(std::function<void()> callback)
      : QEvent(QEvent::User), m_callback(std::move(callback)) {}
  std::function<void()> m_callback;  // what to run
};

class CallbackRunner : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() != QEvent::User) return QObject::event(event);
    static_cast<CallbackEvent*>(event)->m_callback();
    return true;
  }
};

CallbackRunner* Runner() {
  static auto* runner = new CallbackRunner;
  return runner;
}

QImage ClientAreaImage(DialogWindow* w) {
  QImage image(w->client()->size(), QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  w->client()->render(&image);
  return image;
}

}  // namespace

AfxTestWindow AfxTestDescribe(HWND hwnd) {
  DialogWindow* w = FromHwnd(hwnd);
  w->Flush();
  AfxTestWindow d;
  d.caption = ToCp932(w->windowTitle());
  d.clientWidth = w->client()->width();
  d.clientHeight = w->client()->height();
  d.baseUnitX = w->baseUnitX();
  d.baseUnitY = w->baseUnitY();
  d.fontFamily = QFontInfo(w->dialogFont()).family().toStdString();
  d.fontPixelSize = QFontInfo(w->dialogFont()).pixelSize();
  const Qt::WindowFlags flags = w->windowFlags();
  d.hasMinimizeBox = flags.testFlag(Qt::WindowMinimizeButtonHint);
  d.hasMaximizeBox = flags.testFlag(Qt::WindowMaximizeButtonHint);
  d.hasCloseBox = flags.testFlag(Qt::WindowCloseButtonHint);
  d.fixedSize = w->minimumSize() == w->maximumSize();
  d.visible = w->isVisible();
  d.modal = w->isModal();
  d.owner = afx_qt::ToHwnd(w->owner());
  const QPoint origin = w->client()->mapToGlobal(QPoint(0, 0));
  d.screenX = origin.x();
  d.screenY = origin.y();
  for (const QSize& size : w->windowIcon().availableSizes()) d.iconSizes.push_back(size.width());
  if (QMenuBar* bar = w->menuBar()) {
    for (QAction* top : bar->actions()) {
      AfxTestMenuPopup popup{ToCp932(top->text()), {}};
      if (QMenu* menu = top->menu()) {
        for (QAction* a : menu->actions()) {
          popup.items.push_back({ToCp932(a->text()), a->data().toUInt(), a->isEnabled()});
        }
      }
      d.menu.push_back(std::move(popup));
    }
  }
  d.focusedControl = 0;
  for (const afx_qt::Control& c : w->controls()) {
    if (c.widget == w->focusWidget()) d.focusedControl = c.item->id;
  }
  return d;
}

std::vector<AfxTestControl> AfxTestControls(HWND hwnd) {
  std::vector<AfxTestControl> out;
  FromHwnd(hwnd)->Flush();
  for (const afx_qt::Control& c : FromHwnd(hwnd)->controls()) {
    AfxTestControl t{};
    t.id = c.item->id;
    t.kind = c.item->kind;
    const QRect r = c.widget->geometry();
    t.rect = RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    QString text;
    if (auto* edit = qobject_cast<QLineEdit*>(c.widget)) {
      text = edit->text();
      t.readOnly = edit->isReadOnly();
      t.bordered = edit->hasFrame();
    } else if (auto* label = qobject_cast<QLabel*>(c.widget)) {
      text = label->text();
    } else if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
      text = button->text();
      t.isDefault = button->isDefault();
    }
    t.text = ToCp932(text);
    t.tabStop = c.widget->focusPolicy() != Qt::NoFocus;
    const QFontMetrics metrics(c.widget->font());
    t.textWidth = metrics.horizontalAdvance(text);
    t.textHeight = metrics.height();
    out.push_back(std::move(t));
  }
  return out;
}

int AfxTestControlWrites(HWND hwnd, int id) {
  const afx_qt::Control* c = FromHwnd(hwnd)->FindControl(id);
  return c != nullptr ? c->writes : -1;
}

void AfxTestPressKey(HWND hwnd, AfxTestKey key) {
  DialogWindow* w = FromHwnd(hwnd);
  int code = Qt::Key_Return;
  Qt::KeyboardModifiers mods = Qt::NoModifier;
  switch (key) {
    case AfxTestKey::kEnter:
      code = Qt::Key_Return;
      break;
    case AfxTestKey::kEscape:
      code = Qt::Key_Escape;
      break;
    case AfxTestKey::kF1:
      code = Qt::Key_F1;
      break;
    case AfxTestKey::kShiftF1:
      code = Qt::Key_F1;
      mods = Qt::ShiftModifier;
      break;
    case AfxTestKey::kTab:
      code = Qt::Key_Tab;
      break;
    case AfxTestKey::kF10:
      code = Qt::Key_F10;
      break;
    case AfxTestKey::kAltF4:
      code = Qt::Key_F4;
      mods = Qt::AltModifier;
      break;
    case AfxTestKey::kAltF:
      code = Qt::Key_F;
      mods = Qt::AltModifier;
      break;
    case AfxTestKey::kAltH:
      code = Qt::Key_H;
      mods = Qt::AltModifier;
      break;
  }
  QWidget* target = w->focusWidget() != nullptr ? w->focusWidget() : w;
  QKeyEvent press(QEvent::KeyPress, code, mods);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, code, mods);
  if (QWidget* t = w->focusWidget()) QApplication::sendEvent(t, &release);
}

bool AfxTestCanPressKey(AfxTestKey key) {
  switch (key) {
    case AfxTestKey::kAltF4:  // the window manager's
    case AfxTestKey::kAltF:   // the menu bar's mnemonics are shortcuts, which only input from
    case AfxTestKey::kAltH:   // the window system reaches
      return false;
    default:
      return true;
  }
}

void AfxTestCloseBox(HWND hwnd) { FromHwnd(hwnd)->close(); }

int AfxTestActiveMenu(HWND hwnd) {
  QMenuBar* bar = FromHwnd(hwnd)->menuBar();
  if (bar == nullptr || bar->activeAction() == nullptr) return -1;
  return static_cast<int>(bar->actions().indexOf(bar->activeAction()));
}

void AfxTestCloseMenu(HWND hwnd) {
  QMenuBar* bar = FromHwnd(hwnd)->menuBar();
  if (bar == nullptr || bar->activeAction() == nullptr) return;
  if (QMenu* menu = bar->activeAction()->menu()) menu->hide();
  bar->setActiveAction(nullptr);
}

bool AfxTestChooseMenu(HWND hwnd, UINT command) {
  QMenuBar* bar = FromHwnd(hwnd)->menuBar();
  if (bar == nullptr) return false;
  for (QAction* top : bar->actions()) {
    if (QMenu* menu = top->menu()) {
      for (QAction* a : menu->actions()) {
        if (a->data().toUInt() == command) {
          a->trigger();
          return true;
        }
      }
    }
  }
  return false;
}

bool AfxTestClickButton(HWND hwnd, int id) {
  afx_qt::Control* c = FromHwnd(hwnd)->FindControl(id);
  auto* button = c != nullptr ? qobject_cast<QAbstractButton*>(c->widget) : nullptr;
  if (button == nullptr) return false;
  button->click();
  return true;
}

void AfxTestSetIconic(HWND hwnd, bool iconic) { FromHwnd(hwnd)->m_testIconic = iconic; }

void AfxTestSetClientSize(HWND hwnd, int width, int height) {
  FromHwnd(hwnd)->m_testClientSize = QSize(width, height);
}

void AfxTestRepaint(HWND hwnd) {
  // Rendering paints at once whether or not the platform has exposed the window yet.
  ClientAreaImage(FromHwnd(hwnd));
}

AfxTestIconDraw AfxTestLastIconDraw(HWND hwnd) {
  const DialogWindow* w = FromHwnd(hwnd);
  return AfxTestIconDraw{w->iconDraws, w->lastIconX, w->lastIconY, w->lastIcon};
}

void AfxTestPost(std::function<void()> callback) {
  QCoreApplication::postEvent(Runner(), new CallbackEvent(std::move(callback)));
}

void AfxTestOnDialogShown(std::function<void(CWnd*)> hook) {
  afx_qt::g_dialogShownHook = std::move(hook);
}

bool AfxTestGrab(HWND hwnd, const std::string& path) {
  FromHwnd(hwnd)->Flush();
  return FromHwnd(hwnd)->grab().save(QString::fromStdString(path), "PNG");
}
