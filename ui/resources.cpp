// The resource script of orLexmon, as constant data. Dialog positions and sizes are dialog units
// (a quarter of the dialog font's average character width, an eighth of its height); the
// framework turns them into pixels. Every Japanese text is a code-page-932 byte literal with the
// text in a comment beside it.
#include "ui/resources.h"

#include <iterator>

#include "framework/win_types.h"
#include "ui/resource.h"

namespace {

#include "ui/app_icon.xpm"

// The dialog font of both dialogs.
constexpr const char* kDialogFont =
    "\x82\x6C\x82\x72 \x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ Ｐゴシック
constexpr int16_t kDialogFontPoints = 9;
constexpr uint8_t kDefaultCharset = 1;  // DEFAULT_CHARSET

// A read-only box of the main window and a label.
constexpr DWORD kReadOnlyBox =
    WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL;
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;

const AfxDialogItem kKeywordCheckItems[] = {
    {AfxControlKind::kEdit, kReadOnlyBox, IDC_USER, "", 45, 5, 130, 14},
    {AfxControlKind::kStatic, kLabel, IDC_STATIC,
     "\x83\x86\x81\x5B\x83\x55\x81\x5B",  // ユーザー
     5, 10, 28, 8},
    {AfxControlKind::kEdit, kReadOnlyBox, IDC_MESSAGE_COUNT, "", 45, 30, 30, 14},
    {AfxControlKind::kEdit, kReadOnlyBox, IDC_HIT_TOTAL, "", 75, 85, 40, 14},
    {AfxControlKind::kEdit, kReadOnlyBox, IDC_POINT_TOTAL, "", 75, 101, 40, 14},
    {AfxControlKind::kStatic, kLabel, IDC_STATIC,
     "\x8C\xC2",  // 個
     115, 91, 8, 8},
    {AfxControlKind::kStatic, kLabel, IDC_STATIC,
     "\x90\x56\x8B\x4B",  // 新規
     5, 91, 15, 8},
    {AfxControlKind::kStatic, kLabel, IDC_STATIC,
     "\x83\x67\x81\x5B\x83\x5E\x83\x8B\x83\x7C\x83\x43\x83\x93\x83\x67",  // トータルポイント
     5, 105, 47, 8},
    {AfxControlKind::kEdit, kReadOnlyBox, IDC_DESTINATION, "", 45, 45, 205, 14},
    {AfxControlKind::kEdit, kReadOnlyBox, IDC_TITLE, "", 45, 60, 205, 14},
    {AfxControlKind::kStatic, kLabel, IDC_STATIC,
     "\x88\xB6\x90\xE6",  // 宛先
     5, 50, 15, 8},
    {AfxControlKind::kStatic, kLabel, IDC_STATIC,
     "\x83\x5E\x83\x43\x83\x67\x83\x8B",  // タイトル
     5, 65, 23, 8},
    {AfxControlKind::kEdit, kReadOnlyBox, IDC_MESSAGE_POINTS, "", 135, 85, 40, 14},
};
static_assert(std::size(kKeywordCheckItems) == 13);

const AfxDialogItem kAboutItems[] = {
    {AfxControlKind::kStatic, WS_CHILD | WS_VISIBLE | SS_ICON, IDC_STATIC, "", 11, 17, 20, 20,
     IDI_APP},
    {AfxControlKind::kStatic, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | WS_GROUP, IDC_STATIC,
     "orLexmon Version 1.0", 40, 10, 119, 8},
    {AfxControlKind::kStatic, WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP, IDC_STATIC,
     "Copyright (C) 2026 orLexmon", 40, 25, 119, 8},
    {AfxControlKind::kButton, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP,
     IDOK, "OK", 178, 7, 32, 14},
};

const AfxDialogTemplate kDialogs[] = {
    // IDD_ABOUT: a plain template, created hidden (the framework shows it).
    {IDD_ABOUT, LANG_JAPANESE_JAPAN, false,
     "\xCA\xDE\xB0\xBC\xDE\xAE\xDD\x8F\xEE\x95\xF1 orLexmon",  // ﾊﾞｰｼﾞｮﾝ情報 orLexmon
     WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0, 0, 0, 217, 55, kDialogFont,
     kDialogFontPoints, 0, false, kDefaultCharset, 0, kAboutItems},
    // IDD_KEYWORD_CHECK: an extended template, at (0, 0) so that it is centred.
    {IDD_KEYWORD_CHECK, LANG_JAPANESE_JAPAN, true,
     "\x83\x4C\x81\x5B\x83\x8F\x81\x5B\x83\x68\x83\x60\x83\x46\x83\x62\x83\x4E",  // キーワードチェック
     WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, WS_EX_APPWINDOW,
     0, 0, 254, 122, kDialogFont, kDialogFontPoints, 0, false, kDefaultCharset, IDR_MAIN_MENU,
     kKeywordCheckItems},
};

const AfxMenuItem kFileItems[] = {
    {"\x8F\x49\x97\xB9(&X)",  // 終了(&X)
     IDM_EXIT},
};
const AfxMenuItem kHelpItems[] = {
    {"\xCA\xDE\xB0\xBC\xDE\xAE\xDD\x8F\xEE\x95\xF1(&A) ..",  // ﾊﾞｰｼﾞｮﾝ情報(&A) ..
     IDM_ABOUT},
};
const AfxMenuItem kTestItems[] = {
    {"\x83\x86\x81\x5B\x83\x55\x81\x5B\x90\xD8\x82\xE8\x91\xD6\x82\xA6",  // ユーザー切り替え
     IDM_NEXT_USER},
    {"\x83\x81\x83\x62\x83\x5A\x81\x5B\x83\x57\x83\x60\x83\x46\x83\x62\x83\x4E",  // メッセージチェック
     IDM_CHECK_MESSAGE},
};
const AfxMenuPopup kMainPopups[] = {
    {"\xCC\xA7\xB2\xD9(&F)",  // ﾌｧｲﾙ(&F)
     kFileItems},
    {"\xCD\xD9\xCC\xDF(&H)",  // ﾍﾙﾌﾟ(&H)
     kHelpItems},
    {"TEST", kTestItems},
};
const AfxMenuTemplate kMenus[] = {{IDR_MAIN_MENU, LANG_JAPANESE_JAPAN, kMainPopups}};

const AfxIconImage kAppIconImages[] = {{32, kAppIcon32}, {16, kAppIcon16}};
const AfxIconResource kIcons[] = {{IDI_APP, LANG_JAPANESE_JAPAN, kAppIconImages}};

const AfxVersionString kVersionStrings[] = {
    {"Comments", ""},
    {"CompanyName", ""},
    {"FileDescription", "ORLEXMON"},
    {"FileVersion", "1, 0, 3, 42"},
    {"InternalName", "ORLEXMON"},
    {"LegalCopyright", "Copyright (C) 2026 orLexmon"},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "ORLEXMON.EXE"},
    {"PrivateBuild", ""},
    {"ProductName", "Orvan"},
    {"ProductVersion", "1, 0, 3, 42"},
    {"SpecialBuild", ""},
};
const AfxVersionInfo kVersion = {
    {1, 0, 3, 42},         // file version
    {1, 0, 3, 42},         // product version
    VS_FFI_FILEFLAGSMASK,  // flag mask 0x3F
    0,                     // no flags
    VOS__WINDOWS32,        // operating system
    VFT_APP,               // file type
    0,                     // subtype
    "041104b0",            // string table: Japanese, Unicode
    kVersionStrings,       // its entries
    LANG_JAPANESE_JAPAN,   // VarFileInfo translation: language 0x0411 ...
    0x04B0,                // ... code page 1200
};

const AfxResourceTable kResources = {kDialogs, kMenus, kIcons, &kVersion};

}  // namespace

const AfxResourceTable& OrLexmonResources() { return kResources; }
