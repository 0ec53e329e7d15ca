// Numbers of orLexmon's resources: dialogs, menu, icon, menu commands and controls.
#pragma once

#include "run/check_run.h"

inline constexpr unsigned IDD_ABOUT = 100;          // the About box
inline constexpr unsigned IDD_KEYWORD_CHECK = 102;  // the main window
inline constexpr unsigned IDI_APP = 128;            // the application icon
inline constexpr unsigned IDR_MAIN_MENU = 129;      // the main window's menu bar

// Menu commands: the run's own command numbers.
inline constexpr unsigned IDM_EXIT = kIdmExit;                   // 32771
inline constexpr unsigned IDM_ABOUT = kIdmAbout;                 // 32772
inline constexpr unsigned IDM_NEXT_USER = kIdmNextUser;          // 32773
inline constexpr unsigned IDM_CHECK_MESSAGE = kIdmCheckMessage;  // 32774
static_assert(IDM_EXIT == 32771 && IDM_ABOUT == 32772 && IDM_NEXT_USER == 32773 &&
              IDM_CHECK_MESSAGE == 32774);

// The main window's seven read-only boxes.
inline constexpr int IDC_USER = 1000;            // user line
inline constexpr int IDC_MESSAGE_COUNT = 1001;   // messages seen in the folder
inline constexpr int IDC_HIT_TOTAL = 1002;       // hits of the newly scored messages
inline constexpr int IDC_POINT_TOTAL = 1003;     // points of the user
inline constexpr int IDC_DESTINATION = 1004;     // destination of the current message
inline constexpr int IDC_TITLE = 1005;           // title of the current message
inline constexpr int IDC_MESSAGE_POINTS = 1006;  // points of the latest newly scored message
inline constexpr int IDC_STATIC = -1;            // a control without an identifier
