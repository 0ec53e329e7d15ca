// The framework tests' resource table (test_resources.h).
#include "framework/test_resources.h"

#include "framework/win_types.h"

namespace {

using namespace framework_test;

constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_READONLY;

const AfxDialogItem kOuterItems[] = {
    {AfxControlKind::kEdit, kEdit, kIdNumber, "", 5, 5, 40, 14},
    {AfxControlKind::kEdit, kEdit, kIdText, "", 5, 25, 100, 14},
};
const AfxDialogItem kInnerItems[] = {
    {AfxControlKind::kButton, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, "OK", 5,
     5, 32, 14},
};
const AfxDialogTemplate kDialogs[] = {
    {kDlgOuter, LANG_JAPANESE_JAPAN, true, "outer", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT,
     0, 0, 0, 120, 50, "MS PGothic", 9, 0, false, 1, kMenu, kOuterItems},
    {kDlgInner, LANG_JAPANESE_JAPAN, false, "inner",
     WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT, 0, 0, 0, 60, 30, "MS PGothic", 9, 0, false, 1,
     0, kInnerItems},
};
const AfxMenuItem kItems[] = {{"&Step", kCmdStep}, {"&Inner", kCmdInner}};
const AfxMenuPopup kPopups[] = {{"&Test", kItems}};
const AfxMenuTemplate kMenus[] = {{kMenu, LANG_JAPANESE_JAPAN, kPopups}};
const AfxResourceTable kResources = {kDialogs, kMenus, {}, nullptr};

}  // namespace

const AfxResourceTable& FrameworkTestResources() { return kResources; }
