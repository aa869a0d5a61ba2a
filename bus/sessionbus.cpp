#include "sessionbus.h"

#include <QByteArrayView>
#include <QLocale>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

namespace bus {

void announcedSessionBusOnly()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const QByteArray socket = qgetenv("XDG_RUNTIME_DIR") + "/bus";
    struct stat status {};
    if (socket.startsWith('/') && ::stat(socket.constData(), &status) == 0 && S_ISSOCK(status.st_mode)
        && status.st_uid == ::getuid()) {
        // A D-Bus address escapes every byte but a few plain ones.
        QByteArray address = "unix:path=";
        for (const char c : socket)
            if (QByteArrayView("-_/.*").contains(c) || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')
                || (c >= 'a' && c <= 'z'))
                address += c;
            else
                address += '%' + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    } else {
        qputenv("DBUS_SESSION_BUS_ADDRESS", NoBus);
    }
}

std::optional<QDBusConnection> userSessionBus()
{
    announcedSessionBusOnly();
    if (qgetenv("DBUS_SESSION_BUS_ADDRESS") == NoBus)
        return std::nullopt;
    // A connection of the program's own rather than Qt's shared one, so that
    // closeBus really closes it.
    std::optional<QDBusConnection> session =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("pendralumovista-session"));
    if (!session->isConnected())
        closeBus(session);
    return session;
}

void closeBus(std::optional<QDBusConnection>& bus)
{
    if (!bus)
        return;
    const QString name = bus->name();
    bus.reset();
    QDBusConnection::disconnectFromBus(name);
}

int answerTimeoutMs()
{
    bool isNumber = false;
    const int ms = qEnvironmentVariableIntValue("PENDRALUMOVISTA_BUS_ANSWER_MS", &isNumber);
    return isNumber && ms > 0 ? ms : AnswerTimeoutMs;
}

QString answerTimeoutSeconds()
{
    return QLocale(QLocale::German).toString(answerTimeoutMs() / 1000.0, 'g', 3);
}

} // namespace bus
