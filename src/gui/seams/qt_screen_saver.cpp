#include "seams/qt_screen_saver.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

namespace wexal {

namespace {

QDBusInterface* Service() {
    if (!QDBusConnection::sessionBus().isConnected()) return nullptr;
    static QDBusInterface iface("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                "org.freedesktop.ScreenSaver");
    return iface.isValid() ? &iface : nullptr;
}

}  // namespace

QtScreenSaver::~QtScreenSaver() { SetEnabled(true); }

void QtScreenSaver::SetEnabled(bool enabled) {
    if (enabled == !inhibited_) return;
    QDBusInterface* iface = Service();
    if (!iface) return;
    if (enabled) {
        iface->call("UnInhibit", cookie_);
        inhibited_ = false;
    } else {
        QDBusReply<std::uint32_t> reply = iface->call("Inhibit", "Wexal", "NC transfer");
        if (reply.isValid()) {
            cookie_ = reply.value();
            inhibited_ = true;
        }
    }
}

}  // namespace wexal
