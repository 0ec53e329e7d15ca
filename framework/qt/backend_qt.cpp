// The Qt 6 Widgets backend: dialog windows built from templates, modal loops, the posted-message
// queue (Qt's own event queue), icons from XPM resources and painting.
//
// Dialog units become pixels from the dialog font's average character width (the Latin letters'
// mean advance, rounded as the reference platform does) and its height. The font is asked for by
// the template's face name; Japanese faces of the reference platform map to the installed IPA
// fonts. Sizes assume 96 logical dots per inch, so a 9-point font is 12 pixels high everywhere.
#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "framework/backend.h"
#include "framework/qt/cp932.h"
#include "framework/qt/dialog_window.h"
#include "framework/qt/startup.h"

namespace afx_qt {

const QEvent::Type PostedMessageEvent::kType =
    static_cast<QEvent::Type>(QEvent::registerEventType());

std::function<void(CWnd*)> g_dialogShownHook;

namespace {

constexpr int kLogicalDpi = 96;  // dots per inch that dialog fonts are sized for
constexpr int kIconSize = 32;    // SM_CXICON, SM_CYICON
// Boxes are brought up to date on screen at most this often while posted messages keep the loop
// busy (a run changes them twice per message, far faster than anyone can read), and at once when
// it is about to wait. Painting follows the widgets, so it is paced the same way.
constexpr qint64 kFrameIntervalNs = 40'000'000;

qint64 SteadyNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Every live dialog window, for the flush when the loop is about to wait.
std::vector<DialogWindow*>& LiveWindows() {
  static std::vector<DialogWindow*> windows;
  return windows;
}

// a * b / c, rounded half away from zero, as the platform's MulDiv.
int MulDiv(int a, int b, int c) {
  const long long p = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(p >= 0 ? (p + half) / c : (p - half) / c);
}

// The reference platform's Japanese faces and their installed stand-ins.
void InstallFontSubstitutions() {
  const QString gothicP = QStringLiteral("IPAPGothic");
  const QString gothic = QStringLiteral("IPAGothic");
  QFont::insertSubstitution(QString::fromUtf8("ＭＳ Ｐゴシック"), gothicP);
  QFont::insertSubstitution(QStringLiteral("MS PGothic"), gothicP);
  QFont::insertSubstitution(QString::fromUtf8("ＭＳ ゴシック"), gothic);
  QFont::insertSubstitution(QStringLiteral("MS Gothic"), gothic);
  QFont::insertSubstitution(QString::fromUtf8("MS UI Gothic"), gothicP);
}

// The label text of a static control: "&" marks a mnemonic (hidden here) unless SS_NOPREFIX.
QString LabelText(const AfxDialogItem& item) {
  const QString text = FromCp932(item.text != nullptr ? item.text : "");
  if ((item.style & SS_NOPREFIX) != 0) return text;
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'&') {
      if (i + 1 < text.size() && text[i + 1] == u'&') out += u'&';
      ++i;
      if (i < text.size() && text[i] != u'&') out += text[i];
      continue;
    }
    out += text[i];
  }
  return out;
}

}  // namespace

QIcon IconFromHandle(HICON icon) {
  static std::map<const AfxIconResource*, QIcon> cache;
  const auto* resource = reinterpret_cast<const AfxIconResource*>(icon);
  if (resource == nullptr) return QIcon();
  auto it = cache.find(resource);
  if (it != cache.end()) return it->second;
  QIcon result;
  for (const AfxIconImage& image : resource->images) {
    result.addPixmap(QPixmap::fromImage(QImage(image.xpm.data())));
  }
  cache.emplace(resource, result);
  return result;
}

// ---------------------------------------------------------------------------------------------

ClientArea::ClientArea(DialogWindow* window) : QWidget(window), m_window(window) {}

void ClientArea::paintEvent(QPaintEvent*) {
  m_window->inPaint = true;
  AfxCallWndProc(m_window->wnd(), WM_PAINT, 0, 0);
  m_window->inPaint = false;
}

DialogWindow::DialogWindow(CWnd* wnd, const AfxDialogTemplate& tmpl, DialogWindow* owner)
    : QWidget(owner), m_wnd(wnd), m_tmpl(tmpl), m_owner(owner) {
  // A framed window with a title bar, and a close box with the system menu; never a minimize or
  // maximize box (window managers that draw their own buttons may still show them). Without an
  // owner it is a window of its own, with its own taskbar entry; with one, a dialog over it.
  Qt::WindowFlags flags = owner != nullptr ? Qt::Dialog : Qt::Window;
  flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if ((tmpl.style & WS_SYSMENU) != 0) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  setWindowFlags(flags);
  setWindowModality(Qt::ApplicationModal);
  setWindowTitle(FromCp932(tmpl.caption != nullptr ? tmpl.caption : ""));

  m_font = QFont(FromCp932(tmpl.fontName != nullptr ? tmpl.fontName : ""));
  m_font.setPixelSize(MulDiv(tmpl.pointSize, kLogicalDpi, 72));
  m_font.setWeight(tmpl.weight >= 700 ? QFont::Bold : QFont::Normal);
  m_font.setItalic(tmpl.italic);
  setFont(m_font);
  const QFontMetrics metrics(m_font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  m_baseX = (letters / 26 + 1) / 2;
  m_baseY = metrics.height();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  if (tmpl.menu != 0) {
    if (const AfxMenuTemplate* menu = AfxFindMenu(tmpl.menu)) BuildMenu(*menu);
  }
  m_client = new ClientArea(this);
  m_client->setFixedSize(ToPixelsX(tmpl.cx), ToPixelsY(tmpl.cy));
  layout->addWidget(m_client);
  BuildControls();
  LiveWindows().push_back(this);
}

DialogWindow::~DialogWindow() {
  auto& windows = LiveWindows();
  windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
}

int DialogWindow::ToPixelsX(int units) const { return MulDiv(units, m_baseX, 4); }
int DialogWindow::ToPixelsY(int units) const { return MulDiv(units, m_baseY, 8); }

void DialogWindow::BuildMenu(const AfxMenuTemplate& menu) {
  m_menuBar = new QMenuBar(this);
  m_menuBar->setNativeMenuBar(false);
  layout()->setMenuBar(m_menuBar);
  for (const AfxMenuPopup& popup : menu.popups) {
    QMenu* drop = m_menuBar->addMenu(FromCp932(popup.text));
    for (const AfxMenuItem& item : popup.items) {
      QAction* action = drop->addAction(FromCp932(item.text));
      action->setData(static_cast<uint>(item.command));
      const UINT command = item.command;
      connect(action, &QAction::triggered, this, [this, command] { SendCommand(command); });
    }
  }
}

void DialogWindow::BuildControls() {
  for (const AfxDialogItem& item : m_tmpl.items) {
    QWidget* widget = nullptr;
    const bool tabStop = (item.style & WS_TABSTOP) != 0;
    switch (item.kind) {
      case AfxControlKind::kEdit: {
        auto* edit = new QLineEdit(m_client);
        edit->setReadOnly((item.style & ES_READONLY) != 0);
        edit->setFrame((item.style & WS_BORDER) != 0);
        edit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        if (edit->isReadOnly()) {
          // A read-only box has the window's face colour, as on the reference platform.
          QPalette palette = edit->palette();
          palette.setColor(QPalette::Base, palette.color(QPalette::Window));
          edit->setPalette(palette);
        }
        edit->setText(FromCp932(item.text != nullptr ? item.text : ""));
        const int id = item.id;
        connect(edit, &QLineEdit::textChanged, this, [this, id, edit] {
          // Typed by the operator (an editable box): the widget's text is the control's text.
          if (m_flushing) return;
          if (Control* c = FindControl(id)) c->bytes = ToCp932(edit->text());
        });
        widget = edit;
        break;
      }
      case AfxControlKind::kStatic: {
        auto* label = new QLabel(m_client);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if ((item.style & 0x1F) == SS_ICON) {
          label->setPixmap(IconFromHandle(AfxLoadIcon(static_cast<UINT>(item.icon)))
                               .pixmap(kIconSize, kIconSize));
        } else {
          label->setText(LabelText(item));
        }
        widget = label;
        break;
      }
      case AfxControlKind::kButton: {
        auto* button = new QPushButton(FromCp932(item.text != nullptr ? item.text : ""), m_client);
        button->setDefault((item.style & BS_DEFPUSHBUTTON) != 0);
        button->setAutoDefault(false);
        const UINT id = static_cast<UINT>(item.id);
        connect(button, &QPushButton::clicked, this, [this, id] { SendCommand(id); });
        widget = button;
        break;
      }
    }
    widget->setFont(m_font);
    widget->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::NoFocus);
    const bool icon = item.kind == AfxControlKind::kStatic && (item.style & 0x1F) == SS_ICON;
    widget->setGeometry(ToPixelsX(item.x), ToPixelsY(item.y), icon ? kIconSize : ToPixelsX(item.cx),
                        icon ? kIconSize : ToPixelsY(item.cy));
    widget->setVisible((item.style & WS_VISIBLE) != 0);
    const bool picture = item.kind == AfxControlKind::kStatic && (item.style & 0x1F) == SS_ICON;
    m_controls.push_back(
        Control{&item, widget, picture || item.text == nullptr ? "" : item.text, false, 0});
  }
}

Control* DialogWindow::FindControl(int id) {
  for (Control& c : m_controls) {
    if (c.item->id == id) return &c;
  }
  return nullptr;
}

void DialogWindow::SendCommand(UINT command) { AfxCallWndProc(m_wnd, WM_COMMAND, command, 0); }

void DialogWindow::SetText(Control& c, std::string_view bytes) {
  if (c.bytes == bytes) return;  // unchanged: the box is not rewritten
  c.bytes.assign(bytes);
  ++c.writes;
  c.widgetStale = true;
  m_dirty = true;  // shown after the current message, when a frame is due, or when idle
}

void DialogWindow::FlushIfDue() {
  if (m_dirty && SteadyNanos() - m_lastFlushNs >= kFrameIntervalNs) Flush();
}

void DialogWindow::Flush() {
  m_lastFlushNs = SteadyNanos();
  if (!m_dirty) return;
  m_dirty = false;
  m_flushing = true;
  for (Control& c : m_controls) {
    if (!c.widgetStale) continue;
    c.widgetStale = false;
    const QString text = FromCp932(c.bytes);
    if (auto* edit = qobject_cast<QLineEdit*>(c.widget)) {
      edit->setText(text);
      edit->setCursorPosition(0);  // show the start of a long text
    } else if (auto* label = qobject_cast<QLabel*>(c.widget)) {
      label->setText(text);
    } else if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
      button->setText(text);
    }
  }
  m_flushing = false;
}

void DialogWindow::RunLoop() {
  QEventLoop loop;
  m_loop = &loop;
  if (!m_endRequested) loop.exec();
  m_loop = nullptr;
}

void DialogWindow::EndLoop() {
  m_endRequested = true;
  if (m_loop != nullptr) m_loop->exit(0);
}

HICON DialogWindow::SetIcon(HICON icon, bool big) {
  HICON& slot = big ? m_bigIcon : m_smallIcon;
  HICON previous = slot;
  slot = icon;
  QIcon combined;
  for (HICON h : {m_bigIcon, m_smallIcon}) {
    const QIcon part = IconFromHandle(h);
    for (const QSize& size : part.availableSizes()) combined.addPixmap(part.pixmap(size));
  }
  setWindowIcon(combined);
  return previous;
}

namespace {
// The frame of the window seen last; windows of one program get the same frame.
QMargins g_lastFrame;
}  // namespace

QPoint CentredFramePosition(const QRect& area, const QSize& client, const QMargins& frame) {
  const int width = client.width() + frame.left() + frame.right();
  const int height = client.height() + frame.top() + frame.bottom();
  return area.center() - QPoint(width / 2, height / 2);
}

void DialogWindow::CentreIn(const QRect& area, const QSize& size) {
  m_centreArea = area;
  m_centreSize = size;
  m_centredMargins = g_lastFrame;
  // A top-level widget's position is that of its frame.
  move(CentredFramePosition(area, size, m_centredMargins));
}

bool DialogWindow::event(QEvent* event) {
  if (m_centreArea && (event->type() == QEvent::Move || event->type() == QEvent::Show) &&
      windowHandle() != nullptr) {
    // The window manager has framed the window: centre it again if the frame is not the one
    // assumed. Once a frame is known the window is left where it is, wherever it is moved.
    const QMargins frame = windowHandle()->frameMargins();
    if (!frame.isNull()) {
      g_lastFrame = frame;
      const QRect area = *m_centreArea;
      m_centreArea.reset();
      if (frame != m_centredMargins) move(CentredFramePosition(area, m_centreSize, frame));
    }
  }
  if (event->type() == PostedMessageEvent::kType) {
    auto* posted = static_cast<PostedMessageEvent*>(event);
    // The window may be gone when the handler returns only through DoModal, which never runs
    // inside a handler of its own window's posted message.
    AfxDispatchPosted(m_wnd, posted->m_message, posted->m_wParam, posted->m_lParam);
    FlushIfDue();
    return true;
  }
  return QWidget::event(event);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods =
      event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      // Enter presses the focused button, else the default button, else gives IDOK.
      UINT command = IDOK;
      for (const Control& c : m_controls) {
        if (c.item->kind != AfxControlKind::kButton) continue;
        if (c.widget->hasFocus()) {
          command = static_cast<UINT>(c.item->id);
          break;
        }
        if ((c.item->style & BS_DEFPUSHBUTTON) != 0) command = static_cast<UINT>(c.item->id);
      }
      SendCommand(command);
      return;
    }
    case Qt::Key_Escape:
      SendCommand(IDCANCEL);
      return;
    case Qt::Key_F1:
      if (mods == Qt::NoModifier) {
        SendCommand(ID_HELP);
        return;
      }
      break;
    case Qt::Key_F10:  // F10 opens the menu bar's first menu
      if (mods == Qt::NoModifier && m_menuBar != nullptr && !m_menuBar->actions().isEmpty()) {
        m_menuBar->setActiveAction(m_menuBar->actions().first());
        return;
      }
      break;
    default:
      break;
  }
  QWidget::keyPressEvent(event);
}

void DialogWindow::closeEvent(QCloseEvent* event) {
  // The close box asks; the dialog decides (and destroys the window itself).
  event->ignore();
  AfxCallWndProc(m_wnd, WM_CLOSE, 0, 0);
}

}  // namespace afx_qt

// The font and message-bus libraries that Qt loads keep a few one-time allocations until the
// process ends; the leak checker of sanitized builds is told so, so that it judges only our own
// memory.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libfreetype.so\nleak:libdbus-1.so\n";
}
// ... and keeps quiet about having used those suppressions.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_options() {
  return "print_suppressions=0";
}

// ---------------------------------------------------------------------------------------------

namespace afx_backend {

using afx_qt::DialogWindow;
using afx_qt::FromHwnd;
using afx_qt::ToHwnd;

void Init() {
  if (QCoreApplication::instance() != nullptr) return;
  // The program writes no log: the toolkit's notes and warnings are dropped, its fatal errors
  // (such as a display that cannot be reached) still reach stderr.
  qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        const bool noDisplay = context.category != nullptr &&
                               std::strncmp(context.category, "qt.qpa.", 7) == 0 &&
                               message.contains(QStringLiteral("could not connect to display"));
        if (noDisplay) {
          std::fprintf(stderr, "orlexmon: %s; the window runs off-screen\n",
                       message.trimmed().toLocal8Bit().constData());
        } else if (type == QtCriticalMsg || type == QtFatalMsg) {
          std::fprintf(stderr, "orlexmon: %s\n", message.toLocal8Bit().constData());
        }
      });
  // Windows go to an off-screen surface when no display is named, and when the one named
  // cannot be reached (a stale DISPLAY in a scheduled job): scheduled runs work unattended.
  const bool displayNamed =
      std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
  setenv("QT_QPA_PLATFORM",
         afx_qt::PlatformsToTry(std::getenv("QT_QPA_PLATFORM"), displayNamed).c_str(), 1);
  // The program takes nothing from its command line, so the toolkit sees none either.
  static int argc = 1;
  static char name[] = "orlexmon";
  static char* argv[] = {name, nullptr};
  auto* app = new QApplication(argc, argv);  // lives for the process
  app->setQuitOnLastWindowClosed(false);
  QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                   app, [] {
                     // About to wait: with no posted message left the run is idle, and the
                     // boxes show their latest texts; while it is busy they follow per frame.
                     const bool idle = afx_qt::PostedMessageEvent::Alive() == 0;
                     for (DialogWindow* window : afx_qt::LiveWindows()) {
                       if (idle) {
                         window->Flush();
                       } else {
                         window->FlushIfDue();
                       }
                     }
                   });
  afx_qt::InstallFontSubstitutions();
  afx_qt::InstallJapaneseTranslation();
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(12);
  QApplication::setFont(font);
}

HWND CreateDialogWindow(CWnd* wnd, const AfxDialogTemplate& tmpl, HWND owner) {
  if (QCoreApplication::instance() == nullptr) return nullptr;
  return ToHwnd(new DialogWindow(wnd, tmpl, FromHwnd(owner)));
}

void ShowDialogWindow(HWND hwnd, bool focusFirst) {
  DialogWindow* window = FromHwnd(hwnd);
  window->Flush();
  window->adjustSize();
  const QSize size = window->sizeHint().expandedTo(window->size());
  QRect area;
  if (window->owner() != nullptr) {
    area = window->owner()->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (window->tmpl().x == 0 && window->tmpl().y == 0 && area.isValid()) {
    window->CentreIn(area, size);
  }
  window->show();
  if (QGuiApplication::platformName() != QStringLiteral("offscreen")) {
    window->raise();
    window->activateWindow();
  }
  if (focusFirst) {
    for (afx_qt::Control& c : window->controls()) {
      if ((c.item->style & WS_TABSTOP) != 0 && c.widget->isVisible()) {
        c.widget->setFocus(Qt::OtherFocusReason);
        break;
      }
    }
  }
  if (afx_qt::g_dialogShownHook) afx_qt::g_dialogShownHook(window->wnd());
}

void RunModalLoop(HWND hwnd) { FromHwnd(hwnd)->RunLoop(); }
void EndModalLoop(HWND hwnd) { FromHwnd(hwnd)->EndLoop(); }
void HideWindow(HWND hwnd) { FromHwnd(hwnd)->hide(); }
void DestroyWindow(HWND hwnd) { delete FromHwnd(hwnd); }

void PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  QCoreApplication::postEvent(FromHwnd(hwnd),
                              new afx_qt::PostedMessageEvent(message, wParam, lParam));
}

LRESULT DefaultWindowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }  // Qt paints by itself

HICON LoadAppIcon(UINT id) {
  const AfxIconResource* icon = AfxFindIcon(id);
  return reinterpret_cast<HICON>(const_cast<AfxIconResource*>(icon));
}

HICON SetIcon(HWND hwnd, HICON icon, bool big) { return FromHwnd(hwnd)->SetIcon(icon, big); }
bool IsIconic(HWND hwnd) { return FromHwnd(hwnd)->iconic(); }

RECT GetClientRect(HWND hwnd) {
  const QSize size = FromHwnd(hwnd)->clientSize();
  return RECT{0, 0, size.width(), size.height()};
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXICON:
    case SM_CYICON:
      return afx_qt::kIconSize;
    default:
      return 0;
  }
}

bool SetControlText(HWND hwnd, int id, std::string_view bytes) {
  DialogWindow* window = FromHwnd(hwnd);
  afx_qt::Control* c = window->FindControl(id);
  if (c == nullptr) return false;
  window->SetText(*c, bytes);
  return true;
}

bool GetControlText(HWND hwnd, int id, std::string* bytes) {
  afx_qt::Control* c = FromHwnd(hwnd)->FindControl(id);
  if (c == nullptr) return false;
  *bytes = c->bytes;
  return true;
}

HDC BeginPaint(HWND hwnd) {
  DialogWindow* window = FromHwnd(hwnd);
  if (window->inPaint && window->painter == nullptr)
    window->painter = new QPainter(window->client());
  window->paintContext = afx_qt::PaintContext{window, window->painter};
  return reinterpret_cast<HDC>(&window->paintContext);
}

void EndPaint(HWND hwnd, HDC) {
  DialogWindow* window = FromHwnd(hwnd);
  delete window->painter;
  window->painter = nullptr;
  window->paintContext = afx_qt::PaintContext{window, nullptr};
}

void EraseIconBackground(HWND, HDC hdc) {
  auto* ctx = reinterpret_cast<afx_qt::PaintContext*>(hdc);
  if (ctx == nullptr || ctx->painter == nullptr) return;
  ctx->painter->fillRect(ctx->window->client()->rect(),
                         ctx->window->palette().color(QPalette::Window));
}

bool DrawIcon(HDC hdc, int x, int y, HICON icon) {
  auto* ctx = reinterpret_cast<afx_qt::PaintContext*>(hdc);
  if (ctx == nullptr || icon == nullptr) return false;
  ++ctx->window->iconDraws;
  ctx->window->lastIconX = x;
  ctx->window->lastIconY = y;
  ctx->window->lastIcon = icon;
  if (ctx->painter != nullptr) {
    ctx->painter->drawPixmap(
        x, y, afx_qt::IconFromHandle(icon).pixmap(afx_qt::kIconSize, afx_qt::kIconSize));
  }
  return true;
}

}  // namespace afx_backend
