// The Qt backend's start-up choices (startup.h).
#include "framework/qt/startup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

namespace afx_qt {

namespace {
constexpr char kOffscreen[] = "offscreen";
}  // namespace

std::string PlatformsToTry(const char* chosen, bool displayNamed) {
  std::string platforms;
  if (chosen != nullptr && *chosen != '\0') {
    platforms = chosen;
  } else if (displayNamed) {
    // X first, as the toolkit would choose by itself; then Wayland, for a session that names
    // only a Wayland display.
    platforms = "xcb;wayland";
  } else {
    return kOffscreen;
  }
  const QStringList names = QString::fromStdString(platforms).split(u';');
  if (!names.contains(QLatin1String(kOffscreen))) platforms += std::string(";") + kOffscreen;
  return platforms;
}

bool InstallJapaneseTranslation() {
  auto* translator = new QTranslator(QCoreApplication::instance());  // owned by the application
  if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  return true;
}

}  // namespace afx_qt
