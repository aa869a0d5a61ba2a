#pragma once
// The program's door on the session bus of the user's own desktop. The
// program owns its application id there, so that a second start hands over to
// the running one instead of opening a second sign over the first; and other
// programs (a bridge from a driving game, a lesson script, a test) press its
// keys, enter line and destination, load a stop file and read what the sign
// shows. Each call becomes the handler call a click makes, and the state is
// read back from the control unit: the door adds no behaviour of its own.

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <optional>

class Windows;

namespace bus {

inline constexpr char ApplicationId[] = "io.github.pendralumovista.Pendralumovista";
inline constexpr char ObjectPath[] = "/io/github/pendralumovista/Pendralumovista";
inline constexpr char ControlUnitInterface[] = "io.github.pendralumovista.Pendralumovista.ControlUnit";

// The address that names no bus. The D-Bus library refuses it at once.
inline constexpr char NoBus[] = "disabled:";

// Before anything asks for the session bus (Qt's accessibility bridge does as
// the application object starts): the bus DBUS_SESSION_BUS_ADDRESS names,
// else the per-user bus at $XDG_RUNTIME_DIR/bus, written into the variable;
// with neither, NoBus. Left unset, the D-Bus library would start a bus
// daemon of its own through the X server (dbus-launch), which outlives the
// program, or, where dbus-launch is missing, fail and leak.
void announcedSessionBusOnly();

// The session bus of the user's desktop, as announcedSessionBusOnly finds
// it; nullopt when there is none or it cannot be reached.
std::optional<QDBusConnection> userSessionBus();

// Closes the connection while the application object still lives. Left to
// the end of the process, it is torn down by the D-Bus thread after Qt's
// registry of types is gone, which now and then says so on standard error.
void closeBus(std::optional<QDBusConnection>& bus);

class ControlUnitAdaptor;

// The object on the bus. Qt hands the call being served to the object that
// carries the interfaces, so the adaptors answer through it.
class Door : public QObject, public QDBusContext {
    Q_OBJECT
public:
    // Connects to the user's session bus, if there is one, and claims the
    // application id there. When another instance owns it, asks that one to
    // show and raise its windows and says so in one line.
    Door();
    ~Door() override;
    Door(const Door&) = delete;
    Door& operator=(const Door&) = delete;

    // The exit status of this start when it handed over to another instance.
    std::optional<int> handedOver() const { return handedOver_; }
    // From now on calls reach these windows; changes of state are published.
    void serve(Windows& windows);

    // For the adaptors.
    std::optional<QDBusConnection>& bus() { return bus_; }
    Windows* windows() const { return windows_; }
    ControlUnitAdaptor* controlUnit() const { return controlUnit_; }

private:
    std::optional<QDBusConnection> bus_;
    std::optional<int> handedOver_;
    Windows* windows_ = nullptr;
    ControlUnitAdaptor* controlUnit_ = nullptr;
};

} // namespace bus
