#include "busclient.h"

#include <sessionbus.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QFileInfo>

#include <functional>
#include <optional>

namespace bus {

namespace {

int fail(std::FILE* err, const QString& message)
{
    std::fprintf(err, "pendralumovista: %s\n", message.toUtf8().constData());
    return 1;
}

QString noneRuns()
{
    return QStringLiteral("auf diesem Desktop läuft kein Simulator; zuerst pendralumovista starten.");
}

QString doesNotAnswer()
{
    return QStringLiteral("der laufende Simulator antwortet nicht (%1 Sekunden gewartet); vielleicht hängt er "
                          "oder ist angehalten.")
        .arg(answerTimeoutSeconds());
}

// Runs `act` with the session bus on which a simulator owns its id; one line
// and 1 when there is none. The client reads its command line before any
// application object exists; the bus needs one.
int withRunningSimulator(std::FILE* err, const std::function<int(QDBusConnection&)>& act)
{
    static int argc = 1;
    static char name[] = "pendralumovista";
    static char* argv[] = {name, nullptr};
    std::optional<QCoreApplication> application;
    if (!QCoreApplication::instance())
        application.emplace(argc, argv);
    std::optional<QDBusConnection> session = userSessionBus();
    const int status = session && session->interface()->isServiceRegistered(QString::fromLatin1(ApplicationId))
                           ? act(*session)
                           : fail(err, noneRuns());
    if (session) {
        // The D-Bus thread hands an error reply over first and then tells Qt
        // of it, with types the end of the program may already have taken
        // away. Served in order, one more round trip lets it finish.
        session->call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                     QStringLiteral("/org/freedesktop/DBus"),
                                                     QStringLiteral("org.freedesktop.DBus.Peer"),
                                                     QStringLiteral("Ping")));
    }
    closeBus(session);
    return status;
}

// One call to the running simulator. The bus is told not to start one for
// it: a client that finds none says so instead.
int call(QDBusConnection& session, std::FILE* err, const char* method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(ApplicationId),
                                                          QString::fromLatin1(ObjectPath),
                                                          QString::fromLatin1(ControlUnitInterface),
                                                          QLatin1String(method));
    message.setAutoStartService(false);
    message.setArguments(arguments);
    const QDBusMessage reply = session.call(message, QDBus::Block, answerTimeoutMs());
    if (reply.type() != QDBusMessage::ErrorMessage)
        return 0;
    // It ended meanwhile.
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
        return fail(err, noneRuns());
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")
        || reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        return fail(err, doesNotAnswer());
    return fail(err, reply.errorMessage());
}

} // namespace

int drive(const char* path, std::span<char* const> keys, std::FILE* err)
{
    // The simulator has a working folder of its own: a name is made whole
    // here, where it was given.
    const QString whole = path ? QFileInfo(QFile::decodeName(path)).absoluteFilePath() : QString();
    return withRunningSimulator(err, [&](QDBusConnection& session) {
        if (path && call(session, err, "LoadStops", {whole}) != 0)
            return 1;
        for (const char* key : keys)
            if (call(session, err, "PressKey", {QString::fromLocal8Bit(key)}) != 0)
                return 1;
        return 0;
    });
}

int loadRoute(const QString& path, const QString& line, const QString& destination, std::FILE* err)
{
    const QString whole = QFileInfo(path).absoluteFilePath();
    return withRunningSimulator(err, [&](QDBusConnection& session) {
        if (call(session, err, "LoadStops", {whole}) != 0)
            return 1;
        return call(session, err, "SetLineDestination", {line, destination});
    });
}

} // namespace bus
