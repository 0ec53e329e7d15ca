// The About box: everything but its template number is CDialog's.
#include "ui/about_box.h"

CAboutBox::CAboutBox() : CDialog(IDD) {}

CAboutBox::~CAboutBox() = default;

void CAboutBox::DoDataExchange(CDataExchange* pDX) { CDialog::DoDataExchange(pDX); }

// clang-format off
BEGIN_MESSAGE_MAP(CAboutBox, CDialog)
END_MESSAGE_MAP()
// clang-format on
