// The resources of the framework's own tests: an outer dialog with two boxes and a menu, and an
// inner dialog with a default push button. On Windows the test program carries them as real
// resources, written from this table at build time as the program's own are.
#pragma once

#include "framework/resource.h"

namespace framework_test {

inline constexpr UINT kDlgOuter = 500;  // extended template, menu kMenu, boxes kIdNumber, kIdText
inline constexpr UINT kDlgInner = 501;  // plain template, an OK button
inline constexpr UINT kMenu = 600;      // "&Test" with kCmdStep and kCmdInner
inline constexpr UINT kCmdStep = 700;   // a step of the outer dialog
inline constexpr UINT kCmdInner = 701;  // opens the inner dialog
inline constexpr int kIdNumber = 10;    // integer box
inline constexpr int kIdText = 11;      // text box

}  // namespace framework_test

const AfxResourceTable& FrameworkTestResources();
