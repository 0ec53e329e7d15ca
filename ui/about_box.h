// The About box: program name and version, the maker's notice and an OK button. It has no
// fields; OnAbout runs it modally over the main window, whose run goes on meanwhile.
#pragma once

#include "framework/afxwin.h"
#include "ui/resource.h"

class CAboutBox : public CDialog {
 public:
  CAboutBox();
  ~CAboutBox() override;

  static constexpr UINT IDD = IDD_ABOUT;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;  // exchanges nothing

  DECLARE_MESSAGE_MAP()
};
