#include "simulatorbus.h"

#include "announcement.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

namespace {
const QString applicationId = QStringLiteral("io.github.pendralumovista.Pendralumovista");
} // namespace

SimulatorOnBus::SimulatorOnBus(const QDBusConnection& bus, QObject* parent) : QObject(parent)
{
    // Watching before asking: a simulator that comes or goes meanwhile is
    // still seen.
    auto* watcher = new QDBusServiceWatcher(applicationId, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                const bool was = present_;
                present_ = !newOwner.isEmpty();
                if (was && !present_)
                    emit vanished();
            });
    // Qt passes on the signal only from the name's owner of the moment.
    QDBusConnection(bus).connect(applicationId, QStringLiteral("/io/github/pendralumovista/Pendralumovista"),
                                 QStringLiteral("io.github.pendralumovista.Pendralumovista.ControlUnit"),
                                 QStringLiteral("Announced"), this, SLOT(announced(QString)));
    present_ = bus.interface() && bus.interface()->isServiceRegistered(applicationId).value();
}

void SimulatorOnBus::announced(const QString& sentence)
{
    const QString text = withoutControls(sentence);
    if (isAnnouncement(text))
        emit announcement(text);
}
