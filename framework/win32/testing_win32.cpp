// The test access of afx_testing.h over the Win32 backend. A window is described as the system
// sees it (its styles, texts, dialog font, the real HMENU and the real child windows), and input
// goes the way the operator's would: a key becomes the messages the keyboard gives the focused
// control, handled by the same steps as the modal loop's (help key, dialog manager, translation
// and dispatch), so the dialog manager and the system's default handling decide what it does.
// Texts are converted back to code page 932.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "framework/afx_testing.h"
#include "framework/win32/win32_window.h"

using afx_win32::Narrow;
using afx_win32::StateOf;

namespace {

std::wstring WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

std::string Utf8(std::wstring_view wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), length,
                        nullptr, nullptr);
  }
  return out;
}

// The text of a menu item as the menu holds it, "&" included.
std::string MenuText(HMENU menu, UINT position) {
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING;
  if (!GetMenuItemInfoW(menu, position, TRUE, &info)) return {};
  std::wstring text(info.cch + 1, L'\0');
  info.dwTypeData = text.data();
  info.cch += 1;
  if (!GetMenuItemInfoW(menu, position, TRUE, &info)) return {};
  text.resize(info.cch);
  return Narrow(text);
}

AfxControlKind KindOf(HWND control) {
  wchar_t name[64] = {};
  GetClassNameW(control, name, 64);
  if (lstrcmpiW(name, L"Edit") == 0) return AfxControlKind::kEdit;
  if (lstrcmpiW(name, L"Button") == 0) return AfxControlKind::kButton;
  return AfxControlKind::kStatic;
}

// Width and height in pixels of `text` on one line in `control`'s font.
SIZE TextSize(HWND control, const std::wstring& text, bool prefix) {
  const HDC dc = GetDC(control);
  const HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT rect{0, 0, 0, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_CALCRECT | DT_SINGLELINE | (prefix ? 0 : DT_NOPREFIX));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return SIZE{rect.right - rect.left, metrics.tmHeight};
}

// The family name in the name table of the font selected into `dc` (the font file's own English
// name, whatever face name was asked for), or "".
std::string FontFileFamily(HDC dc) {
  constexpr DWORD kNameTable = 0x656D616E;  // "name", as GetFontData takes a table's tag
  const DWORD size = GetFontData(dc, kNameTable, 0, nullptr, 0);
  if (size == GDI_ERROR || size < 6) return {};
  std::vector<uint8_t> table(size);
  if (GetFontData(dc, kNameTable, 0, table.data(), size) != size) return {};
  auto word = [&](size_t at) -> unsigned {
    return at + 1 < table.size() ? (table[at] << 8) | table[at + 1] : 0;
  };
  const unsigned count = word(2), strings = word(4);
  for (unsigned i = 0; i < count; ++i) {
    const size_t record = 6 + 12 * static_cast<size_t>(i);
    // Windows platform, Unicode, US English, the family name.
    if (word(record) != 3 || word(record + 2) != 1 || word(record + 4) != 0x0409 ||
        word(record + 6) != 1) {
      continue;
    }
    const size_t length = word(record + 8), offset = strings + word(record + 10);
    std::wstring name;
    for (size_t at = offset; at + 1 < offset + length && at + 1 < table.size(); at += 2) {
      name += static_cast<wchar_t>(word(at));
    }
    return Utf8(name);
  }
  return {};
}

// The image sizes of icon resource `id` of the executable.
std::vector<int> IconResourceSizes(UINT id) {
  std::vector<int> sizes;
  const HMODULE module = GetModuleHandleW(nullptr);
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14));
  if (found == nullptr) return sizes;
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  const DWORD size = SizeofResource(module, found);
  if (data == nullptr || size < 6) return sizes;
  const unsigned count = data[4] | (data[5] << 8);  // GRPICONDIR: reserved, type, count
  for (unsigned i = 0; i < count && 6 + 14 * (i + 1) <= size; ++i) {
    const uint8_t width = data[6 + 14 * i];  // GRPICONDIRENTRY: width first, 0 for 256
    sizes.push_back(width == 0 ? 256 : width);
  }
  return sizes;
}

// A message-only window that runs posted callbacks, so that they take their turn in the thread's
// queue with every other posted message, whatever loop takes them.
constexpr UINT kRunCallback = WM_APP + 1;

LRESULT CALLBACK CallbackProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kRunCallback) return DefWindowProcW(hwnd, message, wParam, lParam);
  auto* callback = reinterpret_cast<std::function<void()>*>(lParam);
  (*callback)();
  delete callback;
  return 0;
}

HWND CallbackWindow() {
  static const HWND window = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = CallbackProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"orLexmonTestCallbacks";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           windowClass.hInstance, nullptr);
  }();
  return window;
}

bool InMenuMode() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetCurrentThreadId(), &info) && (info.flags & GUI_INMENUMODE) != 0;
}

// Handles what a handled key left in the queue for the dialog at once, as the loop would next:
// the characters that translation made and a system command (Alt+F4's close) that the default
// handling posted. Other posted messages, the run's steps among them, keep their turn.
void HandleKeyAftermath(HWND dialog) {
  MSG msg;
  while (IsWindow(dialog) &&
         (PeekMessageW(&msg, nullptr, WM_CHAR, WM_SYSDEADCHAR, PM_REMOVE) ||
          PeekMessageW(&msg, dialog, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE))) {
    afx_win32::HandleLoopMessage(dialog, msg);
  }
}

// PNG's CRC-32 and zlib's Adler-32.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out += body;
  PutBigEndian(out, Crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

// An RGB image as a PNG file, its pixel data stored uncompressed (deflate's stored blocks).
std::string Png(int width, int height, const std::string& rgbRows) {
  std::string raw;
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    raw += '\0';  // filter: none
    raw.append(rgbRows, static_cast<size_t>(y) * rowBytes, rowBytes);
  }
  std::string zlib = "\x78\x01";
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    zlib += static_cast<char>(at + n == raw.size() ? 1 : 0);  // the last block says so
    zlib += static_cast<char>(n & 0xFF), zlib += static_cast<char>(n >> 8);
    zlib += static_cast<char>(~n & 0xFF), zlib += static_cast<char>((~n >> 8) & 0xFF);
    zlib.append(raw, at, n);
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (const char c : raw) {
    a = (a + static_cast<uint8_t>(c)) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(zlib, (b << 16) | a);
  std::string header;
  PutBigEndian(header, static_cast<uint32_t>(width));
  PutBigEndian(header, static_cast<uint32_t>(height));
  header.append("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, filter set 0, no interlace
  std::string png = "\x89PNG\r\n\x1A\n";
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", "");
  return png;
}

}  // namespace

AfxTestWindow AfxTestDescribe(HWND hwnd) {
  AfxTestWindow d{};
  d.caption = Narrow(WindowText(hwnd));
  RECT client{0, 0, 0, 0};
  GetClientRect(hwnd, &client);
  d.clientWidth = client.right;
  d.clientHeight = client.bottom;
  RECT units{0, 0, 4, 8};  // one character cell in dialog units
  MapDialogRect(hwnd, &units);
  d.baseUnitX = units.right;
  d.baseUnitY = units.bottom;

  const auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  LOGFONTW logical{};
  GetObjectW(font, sizeof logical, &logical);
  d.fontPixelSize = logical.lfHeight < 0 ? -logical.lfHeight : logical.lfHeight;
  // The family of the font file the system took: a face name that the system maps to another
  // font (as Wine's replacements do) reads as the font actually drawn.
  const HDC dc = GetDC(hwnd);
  const HGDIOBJ old = SelectObject(dc, font);
  d.fontFamily = FontFileFamily(dc);
  if (d.fontFamily.empty()) {  // a font without a name table: the face the system reports
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    d.fontFamily = Utf8(face);
  }
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);

  const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  d.hasMinimizeBox = (style & WS_MINIMIZEBOX) != 0;
  d.hasMaximizeBox = (style & WS_MAXIMIZEBOX) != 0;
  d.hasCloseBox = (style & WS_SYSMENU) != 0;
  d.fixedSize = (style & WS_THICKFRAME) == 0;
  d.visible = IsWindowVisible(hwnd) != FALSE;
  d.owner = GetWindow(hwnd, GW_OWNER);
  // Modal: its owner takes no input while it shows (a window without owner blocks nothing else of
  // the program's: there is nothing else).
  d.modal = StateOf(hwnd) != nullptr && (d.owner == nullptr || !IsWindowEnabled(d.owner));
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  d.screenX = origin.x;
  d.screenY = origin.y;
  const auto icon = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
  if (icon != nullptr) d.iconSizes = IconResourceSizes(afx_win32::IconResourceOf(icon));

  if (const HMENU bar = GetMenu(hwnd)) {
    for (int top = 0; top < GetMenuItemCount(bar); ++top) {
      AfxTestMenuPopup popup{MenuText(bar, static_cast<UINT>(top)), {}};
      if (const HMENU sub = GetSubMenu(bar, top)) {
        for (int i = 0; i < GetMenuItemCount(sub); ++i) {
          const UINT state = GetMenuState(sub, static_cast<UINT>(i), MF_BYPOSITION);
          popup.items.push_back({MenuText(sub, static_cast<UINT>(i)), GetMenuItemID(sub, i),
                                 (state & (MF_GRAYED | MF_DISABLED)) == 0});
        }
      }
      d.menu.push_back(std::move(popup));
    }
  }
  const HWND focus = GetFocus();
  d.focusedControl = focus != nullptr && IsChild(hwnd, focus) ? GetDlgCtrlID(focus) : 0;
  return d;
}

std::vector<AfxTestControl> AfxTestControls(HWND hwnd) {
  std::vector<AfxTestControl> out;
  for (HWND c = GetWindow(hwnd, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    AfxTestControl t{};
    const int id = GetDlgCtrlID(c);
    t.id = id == 0xFFFF ? -1 : id;  // a plain template's "none" is the word 0xFFFF
    t.kind = KindOf(c);
    RECT rect;
    GetWindowRect(c, &rect);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&rect), 2);
    t.rect = rect;
    const LONG_PTR style = GetWindowLongPtrW(c, GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrW(c, GWL_EXSTYLE);
    const bool picture = t.kind == AfxControlKind::kStatic && (style & SS_TYPEMASK) == SS_ICON;
    const std::wstring text = picture ? std::wstring() : WindowText(c);
    t.text = Narrow(text);
    t.readOnly = t.kind == AfxControlKind::kEdit && (style & ES_READONLY) != 0;
    t.bordered = (style & WS_BORDER) != 0 || (exStyle & WS_EX_CLIENTEDGE) != 0;
    t.tabStop = (style & WS_TABSTOP) != 0;
    t.isDefault = t.kind == AfxControlKind::kButton && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    // "&" marks a mnemonic in a button's text and in a label's, unless the label says otherwise.
    const bool prefix = t.kind == AfxControlKind::kButton ||
                        (t.kind == AfxControlKind::kStatic && (style & SS_NOPREFIX) == 0);
    const SIZE size = TextSize(c, text, prefix);
    t.textWidth = size.cx;
    t.textHeight = size.cy;
    out.push_back(std::move(t));
  }
  return out;
}

int AfxTestControlWrites(HWND hwnd, int id) {
  if (GetDlgItem(hwnd, id) == nullptr) return -1;
  const afx_win32::WindowState* state = StateOf(hwnd);
  if (state == nullptr) return -1;
  const auto it = state->texts.find(id);
  return it != state->texts.end() ? it->second.writes : 0;
}

void AfxTestPressKey(HWND hwnd, AfxTestKey key) {
  UINT vk = VK_RETURN;
  bool shift = false, alt = false;
  switch (key) {
    case AfxTestKey::kEnter:
      vk = VK_RETURN;
      break;
    case AfxTestKey::kEscape:
      vk = VK_ESCAPE;
      break;
    case AfxTestKey::kF1:
      vk = VK_F1;
      break;
    case AfxTestKey::kShiftF1:
      vk = VK_F1;
      shift = true;
      break;
    case AfxTestKey::kTab:
      vk = VK_TAB;
      break;
    case AfxTestKey::kF10:
      vk = VK_F10;
      break;
    case AfxTestKey::kAltF4:
      vk = VK_F4;
      alt = true;
      break;
    case AfxTestKey::kAltF:
      vk = 'F';
      alt = true;
      break;
    case AfxTestKey::kAltH:
      vk = 'H';
      alt = true;
      break;
  }
  // The keyboard gives its keys to the focused control (or to the window when nothing of it has
  // the focus). F10 and keys with Alt are system keys.
  HWND target = GetFocus();
  if (target == nullptr || (target != hwnd && !IsChild(hwnd, target))) target = hwnd;
  const bool system = alt || vk == VK_F10;
  const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  const LPARAM down = 1 | static_cast<LPARAM>(scan << 16) | (alt ? (KF_ALTDOWN << 16) : 0);
  const LPARAM up = down | (static_cast<LPARAM>(KF_REPEAT | KF_UP) << 16);

  // The state of Shift and Alt while the key goes down, as the handlers ask for it.
  BYTE saved[256];
  GetKeyboardState(saved);
  BYTE held[256];
  std::memcpy(held, saved, sizeof held);
  held[VK_SHIFT] = held[VK_LSHIFT] = shift ? 0x80 : 0;
  held[VK_MENU] = held[VK_LMENU] = alt ? 0x80 : 0;
  held[VK_CONTROL] = held[VK_LCONTROL] = 0;
  SetKeyboardState(held);
  MSG msg{target,
          system ? static_cast<UINT>(WM_SYSKEYDOWN) : static_cast<UINT>(WM_KEYDOWN),
          vk,
          down,
          GetTickCount(),
          {0, 0}};
  afx_win32::HandleLoopMessage(hwnd, msg);
  SetKeyboardState(saved);
  HandleKeyAftermath(hwnd);

  if (!IsWindow(target)) return;
  msg = MSG{target,
            system ? static_cast<UINT>(WM_SYSKEYUP) : static_cast<UINT>(WM_KEYUP),
            vk,
            up,
            GetTickCount(),
            {0, 0}};
  afx_win32::HandleLoopMessage(hwnd, msg);
  HandleKeyAftermath(hwnd);
}

bool AfxTestCanPressKey(AfxTestKey) { return true; }

void AfxTestCloseBox(HWND hwnd) { SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }

bool AfxTestChooseMenu(HWND hwnd, UINT command) {
  const HMENU bar = GetMenu(hwnd);
  if (bar == nullptr) return false;
  // Only an item of the real menu, and only an enabled one, can be chosen.
  const UINT state = GetMenuState(bar, command, MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1) || (state & (MF_GRAYED | MF_DISABLED)) != 0) return false;
  // The system sends the choice as the menu closes: WM_COMMAND, notification code 0, no control.
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
  return true;
}

int AfxTestActiveMenu(HWND hwnd) {
  const HMENU bar = GetMenu(hwnd);
  if (bar == nullptr || !InMenuMode()) return -1;
  for (int i = 0; i < GetMenuItemCount(bar); ++i) {
    if ((GetMenuState(bar, static_cast<UINT>(i), MF_BYPOSITION) & MF_HILITE) != 0) return i;
  }
  return -1;
}

void AfxTestCloseMenu(HWND hwnd) {
  // The system's menu loop ends when it finds a cancel request in the queue.
  if (InMenuMode()) PostMessageW(hwnd, WM_CANCELMODE, 0, 0);
}

bool AfxTestClickButton(HWND hwnd, int id) {
  const HWND button = GetDlgItem(hwnd, id);
  if (button == nullptr || KindOf(button) != AfxControlKind::kButton) return false;
  SendMessageW(button, BM_CLICK, 0, 0);
  return true;
}

void AfxTestSetIconic(HWND hwnd, bool iconic) {
  if (afx_win32::WindowState* state = StateOf(hwnd)) state->testIconic = iconic;
}

void AfxTestSetClientSize(HWND hwnd, int width, int height) {
  if (afx_win32::WindowState* state = StateOf(hwnd)) state->testClientSize = SIZE{width, height};
}

void AfxTestRepaint(HWND hwnd) {
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

AfxTestIconDraw AfxTestLastIconDraw(HWND hwnd) {
  const afx_win32::WindowState* state = StateOf(hwnd);
  if (state == nullptr) return AfxTestIconDraw{0, 0, 0, nullptr};
  return AfxTestIconDraw{state->iconDraws, state->lastIconX, state->lastIconY, state->lastIcon};
}

void AfxTestPost(std::function<void()> callback) {
  PostMessageW(CallbackWindow(), kRunCallback, 0,
               reinterpret_cast<LPARAM>(new std::function<void()>(std::move(callback))));
}

void AfxTestOnDialogShown(std::function<void(CWnd*)> hook) {
  afx_win32::g_dialogShownHook = std::move(hook);
}

bool AfxTestGrab(HWND hwnd, const std::string& path) {
  // The window and its controls painted now; then what they show is copied from the window.
  RedrawWindow(hwnd, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT client{0, 0, 0, 0};
  GetClientRect(hwnd, &client);
  const int width = client.right, height = client.bottom;
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const HDC windowDc = GetDC(hwnd);
  const HDC memoryDc = CreateCompatibleDC(windowDc);
  const HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = bitmap != nullptr;
  if (ok) {
    const HGDIOBJ old = SelectObject(memoryDc, bitmap);
    ok = BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != FALSE;
    SelectObject(memoryDc, old);
  }
  std::string rgb;
  if (ok) {
    GdiFlush();
    const auto* pixels = static_cast<const uint8_t*>(bits);
    rgb.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (size_t i = 0; i < static_cast<size_t>(width) * static_cast<size_t>(height); ++i) {
      rgb += static_cast<char>(pixels[4 * i + 2]);  // the DIB holds blue, green, red, unused
      rgb += static_cast<char>(pixels[4 * i + 1]);
      rgb += static_cast<char>(pixels[4 * i]);
    }
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  DeleteDC(memoryDc);
  ReleaseDC(hwnd, windowDc);
  if (!ok) return false;
  std::ofstream file(std::filesystem::path(path), std::ios::binary);
  file << Png(width, height, rgb);
  return static_cast<bool>(file);
}
