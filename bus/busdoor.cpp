#include "busdoor.h"

#include "controlunit.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <QRegularExpression>
#include <QVariantMap>

#include <cstdio>
#include <utility>

// The single instance: the program owns its application id on the bus, and
// a second start hands over to the first.

namespace bus {

namespace {
// The desktop a DISPLAY value names: host and display number, without the
// screen (":0", ":0.0" and "unix:0" are one desktop).
QString desktopOf(QString display)
{
    const qsizetype colon = display.lastIndexOf(u':');
    if (colon < 0)
        return display;
    QString host = display.left(colon);
    if (host == QLatin1String("unix") || host == QLatin1String("localhost/unix"))
        host.clear();
    return host + display.mid(colon).section(u'.', 0, 0);
}

// Asks the simulator that owns the name for its X display (the answer is
// empty where it names none: an older one, one on no X display).
QDBusMessage askDisplay(QDBusConnection& bus)
{
    QDBusMessage get = QDBusMessage::createMethodCall(QString::fromLatin1(ApplicationId), QString::fromLatin1(ObjectPath),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << QString::fromLatin1(ControlUnitInterface) << QStringLiteral("Display");
    return bus.call(get, QDBus::Block, answerTimeoutMs());
}

QString displayIn(const QDBusMessage& answer)
{
    const QDBusReply<QDBusVariant> reply(answer);
    return reply.isValid() ? reply.value().variant().toString().left(200) : QString();
}

bool noAnswer(const QDBusMessage& reply)
{
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")
           || reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.Timeout");
}
} // namespace

Door::~Door()
{
    closeBus(bus_);
}

void Door::giveUpBus()
{
    // The object holds the connection too: while it is registered there the
    // connection stays open, and the object would answer calls and publish
    // the state on a bus the program has left.
    if (bus_)
        bus_->unregisterObject(QString::fromLatin1(ObjectPath));
    object_.reset();
    closeBus(bus_);
}

Door::Door() : bus_(userSessionBus())
{
    if (!bus_)
        return;
    qDBusRegisterMetaType<StopOnRoute>();
    object_ = std::make_unique<DoorObject>(*bus_);
    // The object is there before the name: a call that starts the program
    // through the bus arrives as soon as the name is claimed. Calls are
    // handled on this thread's event loop, which runs once the windows are
    // there (serve).
    if (!bus_->registerVirtualObject(QString::fromLatin1(ObjectPath), object_.get())) {
        giveUpBus();
        return;
    }
    const QString name = QString::fromLatin1(ApplicationId);
    QDBusMessage activate = QDBusMessage::createMethodCall(name, QString::fromLatin1(ObjectPath),
                                                           QStringLiteral("org.freedesktop.Application"),
                                                           QStringLiteral("Activate"));
    // The launcher's token of this start, so that the windows raised there
    // may come to the front.
    QVariantMap platformData;
    if (const QByteArray id = qgetenv("DESKTOP_STARTUP_ID"); !id.isEmpty())
        platformData.insert(QStringLiteral("desktop-startup-id"), QString::fromLatin1(id));
    activate << platformData;
    // A program that has just ended still owns the name for a moment; the
    // call then finds it gone, and the name is claimed once more.
    QDBusMessage reply;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> claim = bus_->interface()->registerService(
            name, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
        if (claim.isValid() && claim.value() == QDBusConnectionInterface::ServiceRegistered)
            return;
        if (!claim.isValid() || claim.value() != QDBusConnectionInterface::ServiceNotRegistered) {
            // A bus that will not give the name: the program runs as without one.
            giveUpBus();
            return;
        }
        // One user's two graphical logins may share one bus: the simulator
        // of the other desktop is left alone, and this one runs without the
        // bus (its companion hears it on the clipboard).
        reply = askDisplay(*bus_);
        if (const QString there = displayIn(reply), here = xDisplay();
            !there.isEmpty() && !here.isEmpty() && desktopOf(there) != desktopOf(here)) {
            std::printf("pendralumovista: Auf dem Sitzungsbus läuft schon ein Simulator, aber auf einem anderen "
                        "Desktop (%s); dieser hier läuft ohne den Bus.\n",
                        QString(there).replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")), QStringLiteral("?"))
                            .toUtf8()
                            .constData());
            std::fflush(stdout);
            giveUpBus();
            return;
        }
        // A simulator that did not answer that question is not asked again.
        if (!noAnswer(reply)) {
            reply = bus_->call(activate, QDBus::Block, answerTimeoutMs());
            if (reply.type() != QDBusMessage::ErrorMessage) {
                std::puts("pendralumovista läuft schon; seine Fenster sind nach vorn geholt.");
                handedOver_ = 0;
                return;
            }
        }
        if (noAnswer(reply)) {
            std::fprintf(stderr,
                         "pendralumovista: läuft schon, antwortet aber nicht (%s Sekunden gewartet); vielleicht "
                         "hängt er oder ist angehalten.\n",
                         answerTimeoutSeconds().toUtf8().constData());
            handedOver_ = 1;
            return;
        }
        if (bus_->interface()->isServiceRegistered(name))
            break;
    }
    std::fprintf(stderr, "pendralumovista: läuft schon, antwortet aber nicht: %s\n",
                 reply.errorMessage().toUtf8().constData());
    handedOver_ = 1;
}

int Door::handOverWebRequest(const QString& address, uint port)
{
    if (!bus_)
        return 1;
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(ApplicationId), QString::fromLatin1(ObjectPath),
                                                       QString::fromLatin1(ControlUnitInterface),
                                                       QStringLiteral("ServeWeb"));
    call << address << QVariant::fromValue(ushort(port));
    const QDBusMessage reply = bus_->call(call, QDBus::Block, answerTimeoutMs());
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        std::printf("Das Schild im Browser: %s\n", reply.arguments().constFirst().toString().toUtf8().constData());
        return 0;
    }
    std::fprintf(stderr, "pendralumovista: kein Schild im Browser: %s\n", reply.errorMessage().toUtf8().constData());
    return 1;
}

void Door::serve(state::Feed& feed, WebRequest webRequest, MarkActivation markActivation)
{
    if (object_) {
        object_->webRequest = std::move(webRequest);
        object_->markActivation = markActivation;
        object_->serve(feed);
    }
}

} // namespace bus

