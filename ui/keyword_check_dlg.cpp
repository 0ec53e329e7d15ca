// The main window. The run itself (CCheckRun) knows nothing of windows; this class binds its
// fields to the boxes, routes the menu and the posted steps to it, and ties its end to the
// window's destruction. A refresh runs at least twice per message, so it relies on the
// framework writing only the boxes whose text changed.
#include "ui/keyword_check_dlg.h"

#include "ui/about_box.h"

CKeywordCheckDlg::CKeywordCheckDlg(HostLibrary& host, CWnd* pParent)
    : CDialog(IDD, pParent), CCheckRun(host), m_hIcon(AfxLoadIcon(IDI_APP)) {}

CKeywordCheckDlg::~CKeywordCheckDlg() = default;

void CKeywordCheckDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_HIT_TOTAL, m_nHitTotal);
  DDX_Text(pDX, IDC_POINT_TOTAL, m_nPointTotal);
  DDX_Text(pDX, IDC_USER, m_strUser);
  DDX_Text(pDX, IDC_MESSAGE_COUNT, m_nMessageCount);
  DDX_Text(pDX, IDC_DESTINATION, m_strDestination);
  DDX_Text(pDX, IDC_TITLE, m_strTitle);
  DDX_Text(pDX, IDC_MESSAGE_POINTS, m_strMessagePoints);
}

// clang-format off
BEGIN_MESSAGE_MAP(CKeywordCheckDlg, CDialog)
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_COMMAND(IDM_EXIT, OnOK)
  ON_COMMAND(IDM_ABOUT, OnAbout)
  ON_COMMAND(IDM_NEXT_USER, OnNextUser)
  ON_COMMAND(IDM_CHECK_MESSAGE, OnCheckMessage)
  ON_WM_DESTROY()
END_MESSAGE_MAP()
// clang-format on

BOOL CKeywordCheckDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  StartRun();  // posts 32773, or IDCANCEL when there is no keyword
  return TRUE;
}

void CKeywordCheckDlg::OnPaint() {
  if (!IsIconic()) {
    CDialog::OnPaint();
    return;
  }
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  const int cxIcon = GetSystemMetrics(SM_CXICON);
  const int cyIcon = GetSystemMetrics(SM_CYICON);
  RECT rect;
  GetClientRect(&rect);
  // Signed arithmetic, truncating toward zero: a width of 30 gives (-1) / 2 = 0.
  const int x = (rect.right - rect.left - cxIcon + 1) / 2;
  const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
  dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CKeywordCheckDlg::OnQueryDragIcon() { return m_hIcon; }

void CKeywordCheckDlg::OnAbout() {
  CAboutBox dlgAbout;
  dlgAbout.DoModal();
}

void CKeywordCheckDlg::OnDestroy() {
  CDialog::OnDestroy();
  CloseFolderOnDestroy();
}

void CKeywordCheckDlg::PostCommand(int command) {
  PostMessage(WM_COMMAND, static_cast<WPARAM>(command), 0);
}

void CKeywordCheckDlg::Refresh() { UpdateData(FALSE); }
