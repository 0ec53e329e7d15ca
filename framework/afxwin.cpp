// The toolkit-free part of the framework: message maps and routing, the modal dialog's life,
// data exchange and the application object. Everything visible is delegated to the backend
// (backend.h). The workload is a long chain of posted commands, so the routing path (map walk,
// one thunk call) allocates nothing.
#include "framework/afxwin.h"

#include <cassert>
#include <charconv>
#include <climits>
#include <vector>

#include "framework/backend.h"

namespace {
CWinApp* g_app = nullptr;             // the process's application object
std::vector<CDialog*> g_modalStack;   // dialogs whose modal loop runs, innermost last
constexpr size_t kIntReadLimit = 31;  // characters of a box read for an integer
}  // namespace

// ---------------------------------------------------------------------------------------------
// CCmdTarget

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, UINT nID) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nMessage != 0; ++e) {
      if (e->nMessage == message && (message != WM_COMMAND || e->nID == nID)) return e;
    }
  }
  return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID) {
  const AFX_MSGMAP_ENTRY* e = FindMessageEntry(WM_COMMAND, nID);
  if (e == nullptr) return FALSE;
  e->pfn(this, nID, 0);
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// CWnd

// clang-format off
BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()
// clang-format on

CWnd::~CWnd() {
  if (g_app != nullptr && g_app->m_pMainWnd == this) g_app->m_pMainWnd = nullptr;
  if (m_hWnd != nullptr) {
    afx_backend::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
  }
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_hWnd == nullptr) return FALSE;
  afx_backend::PostMessage(m_hWnd, message, wParam, lParam);
  return TRUE;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_hWnd == nullptr) return 0;
  return AfxCallWndProc(this, message, wParam, lParam);
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  return reinterpret_cast<HICON>(
      SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

BOOL CWnd::IsIconic() const {
  return m_hWnd != nullptr && afx_backend::IsIconic(m_hWnd) ? TRUE : FALSE;
}

void CWnd::GetClientRect(LPRECT lpRect) const {
  *lpRect = m_hWnd != nullptr ? afx_backend::GetClientRect(m_hWnd) : RECT{0, 0, 0, 0};
}

void CWnd::SetDlgItemText(int nID, const char* text) {
  if (m_hWnd == nullptr) return;
  (void)afx_backend::SetControlText(m_hWnd, nID, text != nullptr ? text : "");
}

CString CWnd::GetDlgItemText(int nID) const {
  std::string bytes;
  if (m_hWnd != nullptr) (void)afx_backend::GetControlText(m_hWnd, nID, &bytes);
  CString result;
  result.SetBytes(bytes);
  return result;
}

LRESULT AfxCallWndProc(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const CWnd::CurrentMessage saved = wnd->m_current;
  wnd->m_current = {message, wParam, lParam};
  const LRESULT result = wnd->WindowProc(message, wParam, lParam);
  wnd->m_current = saved;
  return result;
}

void AfxDispatchPosted(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (wnd->m_hWnd == nullptr || !wnd->AcceptsPostedMessages()) return;
  AfxCallWndProc(wnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) {
    if (OnCommand(wParam, lParam)) return 0;
    return DefWindowProc(message, wParam, lParam);
  }
  if (const AFX_MSGMAP_ENTRY* e = FindMessageEntry(message, 0)) return e->pfn(this, wParam, lParam);
  return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
  const UINT nID = LOWORD(wParam);
  if (OnCmdMsg(nID)) return TRUE;
  // Commands that no window handles go to the application's command table.
  return g_app != nullptr && g_app->OnCmdMsg(nID);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETICON:
      return reinterpret_cast<LRESULT>(
          afx_backend::SetIcon(m_hWnd, reinterpret_cast<HICON>(lParam), wParam == ICON_BIG));
    case WM_ICONERASEBKGND:
      afx_backend::EraseIconBackground(m_hWnd, reinterpret_cast<HDC>(wParam));
      return 1;
    case WM_DESTROY:
      // A destroyed main window is no longer the application's main window.
      if (g_app != nullptr && g_app->m_pMainWnd == this) g_app->m_pMainWnd = nullptr;
      return 0;
    default:
      return afx_backend::DefaultWindowProc(m_hWnd, message, wParam, lParam);
  }
}

LRESULT CWnd::Default() {
  return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

void CWnd::OnPaint() { Default(); }
void CWnd::OnDestroy() { Default(); }

#ifndef _WIN32
int GetSystemMetrics(int nIndex) { return afx_backend::GetSystemMetrics(nIndex); }
#endif

HICON AfxLoadIcon(UINT id) { return afx_backend::LoadAppIcon(id); }

// ---------------------------------------------------------------------------------------------
// Painting

BOOL CDC::DrawIcon(int x, int y, HICON hIcon) {
  return m_hDC != nullptr && afx_backend::DrawIcon(m_hDC, x, y, hIcon) ? TRUE : FALSE;
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_pWnd(pWnd) { m_hDC = afx_backend::BeginPaint(pWnd->m_hWnd); }

CPaintDC::~CPaintDC() { afx_backend::EndPaint(m_pWnd->m_hWnd, m_hDC); }

// ---------------------------------------------------------------------------------------------
// Data exchange

std::string AfxFormatInt(int value) {
  char buffer[16];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

bool AfxParseInt(std::string_view text, int* value) {
  // The box is read up to its first 31 characters, as the platform's integer exchange does.
  if (text.size() > kIntReadLimit) text = text.substr(0, kIntReadLimit);
  size_t i = 0;
  auto blank = [&](size_t k) { return k < text.size() && (text[k] == ' ' || text[k] == '\t'); };
  while (blank(i)) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t digits = i;
  long long magnitude = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    magnitude = magnitude * 10 + (text[i++] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) return false;  // out of range
  }
  if (i == digits) return false;
  while (blank(i)) ++i;
  if (i != text.size()) return false;
  const long long signed_value = negative ? -magnitude : magnitude;
  if (signed_value > INT_MAX || signed_value < INT_MIN) return false;
  *value = static_cast<int>(signed_value);
  return true;
}

void DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
  if (pDX->m_bFailed) return;
  if (!pDX->m_bSaveAndValidate) {
    // "%d" without a heap string: refreshes run twice per message.
    char buffer[16];
    *std::to_chars(buffer, buffer + sizeof buffer - 1, value).ptr = '\0';
    pDX->m_pDlgWnd->SetDlgItemText(nIDC, buffer);
    return;
  }
  const CString text = pDX->m_pDlgWnd->GetDlgItemText(nIDC);
  int parsed = 0;
  if (!AfxParseInt(text.View(), &parsed)) {
    pDX->m_bFailed = true;
    pDX->m_idFailed = nIDC;
    return;
  }
  value = parsed;
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
  if (pDX->m_bFailed) return;
  if (!pDX->m_bSaveAndValidate) {
    pDX->m_pDlgWnd->SetDlgItemText(nIDC, value.GetString());
  } else {
    value = pDX->m_pDlgWnd->GetDlgItemText(nIDC);
  }
}

// ---------------------------------------------------------------------------------------------
// CDialog

// clang-format off
BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, OnOK)
  ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()
// clang-format on

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
  assert(m_hWnd == nullptr);
  const AfxDialogTemplate* tmpl = AfxFindDialogTemplate(m_nIDTemplate);
  if (tmpl == nullptr) return -1;
  afx_backend::Init();

  // Without an owner of its own, a dialog is owned by the application's main window.
  CWnd* owner = m_pParentWnd;
  if (owner == nullptr && g_app != nullptr && g_app->m_pMainWnd != this) owner = g_app->m_pMainWnd;
  const HWND ownerHwnd = owner != nullptr ? owner->m_hWnd : nullptr;

  m_hWnd = afx_backend::CreateDialogWindow(this, *tmpl, ownerHwnd);
  if (m_hWnd == nullptr) return -1;
  m_bEnded = false;
  m_nModalResult = -1;

  g_modalStack.push_back(this);
  const BOOL focusFirst = OnInitDialog();
  if (!m_bEnded) {
    afx_backend::ShowDialogWindow(m_hWnd, focusFirst != FALSE);
    afx_backend::RunModalLoop(m_hWnd);
  }
  g_modalStack.pop_back();

  afx_backend::HideWindow(m_hWnd);
  AfxCallWndProc(this, WM_DESTROY, 0, 0);
  afx_backend::DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
  return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
  m_nModalResult = nResult;
  if (m_bEnded) return;
  m_bEnded = true;
  if (m_hWnd != nullptr) afx_backend::EndModalLoop(m_hWnd);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return dx.m_bFailed ? FALSE : TRUE;
}

BOOL CDialog::OnInitDialog() {
  (void)UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // The close box, Alt+F4 and the system menu's close item cancel a dialog, as Esc does.
  if (message == WM_CLOSE) return SendMessage(WM_COMMAND, static_cast<WPARAM>(IDCANCEL), 0);
  return CWnd::DefWindowProc(message, wParam, lParam);
}

CDialog* AfxGetActiveDialog() { return g_modalStack.empty() ? nullptr : g_modalStack.back(); }

// ---------------------------------------------------------------------------------------------
// CWinApp

// clang-format off
BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()
// clang-format on

CWinApp::CWinApp(const char*) {
  assert(g_app == nullptr);
  g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return m_nExitCode; }

void CWinApp::OnHelp() {
  const CDialog* dialog = AfxGetActiveDialog();
  if (dialog != nullptr) WinHelp(HID_BASE_RESOURCE + dialog->GetTemplateId(), HELP_CONTEXT);
}

void CWinApp::WinHelp(DWORD, UINT) {}

CWinApp* AfxGetApp() { return g_app; }

void AfxWinInit() { afx_backend::Init(); }

int AfxWinMain() {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  AfxWinInit();
  // A start-up routine that returns TRUE would ask for the framework's own message loop; no
  // program of ours does, so either way the application ends here.
  (void)app->InitInstance();
  // The main window's window, if one is left, is destroyed; normally it is gone already.
  if (app->m_pMainWnd != nullptr && app->m_pMainWnd->m_hWnd != nullptr) {
    afx_backend::DestroyWindow(app->m_pMainWnd->m_hWnd);
    app->m_pMainWnd->m_hWnd = nullptr;
  }
  return app->ExitInstance();
}
