#include "simulatorbus.h"

#include "announcement.h"
#include "desktopclaim.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace {
const QString applicationId = QStringLiteral("io.github.pendralumovista.Pendralumovista");
const QString objectPath = QStringLiteral("/io/github/pendralumovista/Pendralumovista");
const QString controlUnitInterface = QStringLiteral("io.github.pendralumovista.Pendralumovista.ControlUnit");
// A display's name is short; anything longer is no name of one.
constexpr qsizetype LongestDisplay = 200;
// A simulator that hangs is followed as if it had answered nothing.
constexpr int AnswerTimeoutMs = 5000;
} // namespace

SimulatorOnBus::SimulatorOnBus(const QDBusConnection& bus, const QByteArray& display, QObject* parent)
    : QObject(parent), bus_(bus), desktop_(DesktopClaim::desktop(display))
{
    // Watching before asking: a simulator that comes or goes meanwhile is
    // still seen.
    auto* watcher = new QDBusServiceWatcher(applicationId, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) { ownerChanged(newOwner); });
    // Qt passes on the signal only from the name's owner of the moment.
    bus_.connect(applicationId, objectPath, controlUnitInterface, QStringLiteral("Announced"), this,
                 SLOT(announced(QString)));
    if (bus_.interface())
        if (const QDBusReply<QString> owner = bus_.interface()->serviceOwner(applicationId); owner.isValid())
            ownerChanged(owner.value());
}

void SimulatorOnBus::ownerChanged(const QString& owner)
{
    const quint64 question = ++question_;
    waiting_.clear();
    if (owner.isEmpty()) {
        become(Owner::None);
        return;
    }
    become(Owner::Asking);
    QDBusMessage get = QDBusMessage::createMethodCall(owner, objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << controlUnitInterface << QStringLiteral("Display");
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(get, AnswerTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, question](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        // No answer, or no such property (a simulator older than it): no
        // display named.
        const QDBusPendingReply<QDBusVariant> reply = *call;
        answered(question, reply.isValid() ? reply.value().variant().toString() : QString());
    });
}

void SimulatorOnBus::answered(quint64 question, const QString& display)
{
    if (question != question_)
        return;
    const QByteArray named = display.left(LongestDisplay).toLocal8Bit();
    if (named.isEmpty() || DesktopClaim::desktop(named) == desktop_) {
        become(Owner::Here);
        if (!waiting_.isNull())
            emit announcement(std::exchange(waiting_, QString()));
        return;
    }
    waiting_.clear();
    become(Owner::Elsewhere);
    emit elsewhere(withoutControls(display.left(LongestDisplay)));
}

void SimulatorOnBus::become(Owner owner)
{
    const bool was = present();
    owner_ = owner;
    if (was && !present())
        emit vanished();
}

void SimulatorOnBus::announced(const QString& sentence)
{
    const QString text = withoutControls(sentence);
    if (!isAnnouncement(text))
        return;
    // Before the owner has been seen, the signal is from the owner Qt
    // knows of, as before anyone asked where it runs.
    if (owner_ == Owner::Here || owner_ == Owner::None)
        emit announcement(text);
    else if (owner_ == Owner::Asking)
        waiting_ = text;
}
