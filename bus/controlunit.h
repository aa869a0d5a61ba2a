#pragma once
// The control unit's interface on the session bus: the object that reads
// each call, checks it and turns it into the key presses a click makes, and
// publishes the snapshot and its differences as properties. Its contract,
// documentation and all, is the interface file beside this one.

#include "busdoor.h"

#include <snapshot.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusVirtualObject>

class TForm1;
class TForm2;

namespace bus {

// The current stop as the bus marshals it, (us).
QDBusArgument& operator<<(QDBusArgument& argument, const StopOnRoute& stop);
const QDBusArgument& operator>>(const QDBusArgument& argument, StopOnRoute& stop);

// The object on the bus: each call is read here, checked, and turned into
// the handler call a click makes.
class DoorObject : public QDBusVirtualObject {
public:
    explicit DoorObject(QDBusConnection bus) : bus_(std::move(bus)) {}

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // From now on calls reach the windows the feed watches, and its changes
    // are published.
    void serve(state::Feed& feed);

    bool serving() const { return feed_ != nullptr; }
    TForm2& unit() const;
    TForm1& sign() const;
    // The state as it is at this call.
    state::Snapshot readNow() const;
    const QDBusConnection& bus() const { return bus_; }
    // What a call changed goes out to everyone who shows the state, the bus
    // first, with the announcements of the same change after it.
    void publishChanges();
    // The web sign's start, when this program can serve it.
    WebRequest webRequest;
    // Hands the launcher's token to the window system with a window.
    MarkActivation markActivation = nullptr;

private:
    void publishChanged(const state::Snapshot& now, const state::Snapshot* before);
    void sendAnnounced(const tk::Text& sentence);

    QDBusConnection bus_;
    state::Feed* feed_ = nullptr;
};

} // namespace bus
