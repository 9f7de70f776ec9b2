#include "seams/qt_launcher_trust.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace wexal {

void QtLauncherTrust::MarkTrusted(const std::filesystem::path& launcher) {
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty()) return;
    // Not waited for: without a session bus gio may take its time, and the
    // launcher works without the mark on most desktops.
    QProcess::startDetached(gio, {QStringLiteral("set"), QFile::decodeName(launcher.c_str()),
                                  QStringLiteral("metadata::trusted"), QStringLiteral("true")});
}

}  // namespace wexal
