#pragma once

class QCoreApplication;

namespace wexal {

// Qt's own texts (the folder browser, the file chooser, the buttons of its
// boxes) in Japanese as the program's are, whatever the locale. False when
// the translations are not installed (qt6-translations-l10n); Qt then shows
// its English.
bool InstallQtTranslations(QCoreApplication& app);

}  // namespace wexal
