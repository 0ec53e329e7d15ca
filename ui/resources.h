// orLexmon's resources as data: the two dialog templates, the menu bar, the icon and the version
// block, in the order and with the styles the window is designed with. All texts are
// code-page-932 bytes and every resource is Japanese (0x0411).
//
//   AfxSetResources(&OrLexmonResources());   // before the first window is made
#pragma once

#include "framework/resource.h"

const AfxResourceTable& OrLexmonResources();
