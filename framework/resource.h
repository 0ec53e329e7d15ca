// Resources as data: dialog templates, menus, icons and the version block.
//
// A program describes its resources with these structs (as constant data in its own sources) and
// hands the framework one AfxResourceTable with AfxSetResources before the first window is made.
// The framework finds a dialog template, a menu or an icon by its number, as the platform's
// resource loader does. All texts are code-page-932 bytes; positions and sizes are dialog units.
//
//   static const AfxDialogItem kItems[] = {{AfxControlKind::kEdit, kEditStyle, 1000, "", 45, 5,
//                                           130, 14}};
//   static const AfxDialogTemplate kDialogs[] = {{102, ...}};
//   AfxSetResources(&kTable);
#pragma once

#include <cstddef>
#include <span>

#include "framework/win_types.h"

// The kind of a dialog control (the platform's window class of the control).
enum class AfxControlKind {
  kEdit,    // single-line edit box ("EDIT")
  kStatic,  // static text or picture ("STATIC"; SS_ICON makes it a picture)
  kButton,  // push button ("BUTTON")
};

struct AfxDialogItem {
  AfxControlKind kind;  // window class of the control
  DWORD style;          // WS_ and class styles, WS_CHILD | WS_VISIBLE included
  int id;               // control id; -1 for "none"
  const char* text;     // text; for an SS_ICON picture, unused (see icon)
  int16_t x, y;         // position in dialog units
  int16_t cx, cy;       // size in dialog units
  int icon = 0;         // icon number shown by an SS_ICON picture
};

struct AfxDialogTemplate {
  UINT id;                               // template number
  WORD language;                         // resource language
  bool extended;                         // DLGTEMPLATEEX rather than DLGTEMPLATE
  const char* caption;                   // title-bar text
  DWORD style;                           // WS_ and DS_ styles
  DWORD exStyle;                         // WS_EX_ styles
  int16_t x, y;                          // position in dialog units; (0, 0) asks for centring
  int16_t cx, cy;                        // client size in dialog units
  const char* fontName;                  // dialog font face
  int16_t pointSize;                     // dialog font size in points
  int16_t weight;                        // dialog font weight (0: normal)
  bool italic;                           // dialog font is italic
  uint8_t charset;                       // dialog font character set
  UINT menu;                             // menu number; 0 for none
  std::span<const AfxDialogItem> items;  // controls, in Tab order
};

struct AfxMenuItem {
  const char* text;  // item text; "&" marks the mnemonic
  UINT command;      // WM_COMMAND number sent when chosen
};

struct AfxMenuPopup {
  const char* text;                    // drop-down title; "&" marks the mnemonic
  std::span<const AfxMenuItem> items;  // items, top to bottom
};

struct AfxMenuTemplate {
  UINT id;                               // menu number
  WORD language;                         // resource language
  std::span<const AfxMenuPopup> popups;  // drop-down menus, left to right
};

// One image of an icon, as XPM text (the first string holds width, height, colours and
// characters per pixel; "None" is the transparent colour).
struct AfxIconImage {
  int size;                          // width and height in pixels
  std::span<const char* const> xpm;  // the XPM strings
};

struct AfxIconResource {
  UINT id;                               // icon number
  WORD language;                         // resource language
  std::span<const AfxIconImage> images;  // images, largest first
};

struct AfxVersionString {
  const char* key;    // e.g. "FileVersion"
  const char* value;  // code-page-932 text
};

struct AfxVersionInfo {
  WORD fileVersion[4];                        // e.g. 1, 0, 3, 42
  WORD productVersion[4];                     // e.g. 1, 0, 3, 42
  DWORD fileFlagsMask;                        // VS_FFI_FILEFLAGSMASK
  DWORD fileFlags;                            // no flags: 0
  DWORD fileOS;                               // VOS__WINDOWS32
  DWORD fileType;                             // VFT_APP
  DWORD fileSubtype;                          // 0
  const char* block;                          // string-table language block, e.g. "041104b0"
  std::span<const AfxVersionString> strings;  // the entries, in order
  WORD translationLanguage;                   // VarFileInfo translation: language
  WORD translationCodePage;                   // VarFileInfo translation: code page
};

#ifndef VOS__WINDOWS32  // <windows.h> has them on Windows
inline constexpr DWORD VOS__WINDOWS32 = 0x00000004;
inline constexpr DWORD VFT_APP = 0x00000001;
inline constexpr DWORD VS_FFI_FILEFLAGSMASK = 0x0000003F;
#endif

struct AfxResourceTable {
  std::span<const AfxDialogTemplate> dialogs;  // dialog templates
  std::span<const AfxMenuTemplate> menus;      // menus
  std::span<const AfxIconResource> icons;      // icons
  const AfxVersionInfo* version;               // the version block, or null
};

// Makes `table` the program's resources. `table` must outlive every window.
void AfxSetResources(const AfxResourceTable* table);
const AfxResourceTable* AfxGetResources();

// Lookups by number; null when the table has no such resource.
const AfxDialogTemplate* AfxFindDialogTemplate(UINT id);
const AfxMenuTemplate* AfxFindMenu(UINT id);
const AfxIconResource* AfxFindIcon(UINT id);
