// What the Qt backend settles before the toolkit starts: which platforms it tries, and the
// language of the toolkit's own texts.
//
// Internal to the Qt backend (backend_qt.cpp) and its tests.
#pragma once

#include <string>

namespace afx_qt {

// The value for QT_QPA_PLATFORM: the platforms the toolkit tries in turn. `chosen` is the
// operator's own QT_QPA_PLATFORM (null or empty when unset); `displayNamed` tells whether
// DISPLAY or WAYLAND_DISPLAY is set. The list always ends with the off-screen platform, so a
// display that is named but cannot be reached leaves the program running unattended instead of
// aborting it.
std::string PlatformsToTry(const char* chosen, bool displayNamed);

// Loads the toolkit's Japanese translation, so that its own texts (the boxes' context menu)
// read as the rest of the window does. Returns false when it is not installed; the toolkit's
// texts then stay English.
// REQUIRES: the application object exists.
bool InstallJapaneseTranslation();

}  // namespace afx_qt
