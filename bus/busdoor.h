#pragma once
// The program's door on the session bus of the user's own desktop. The
// program owns its application id there, so that a second start hands over to
// the running one instead of opening a second sign over the first; and other
// programs (a bridge from a driving game, a lesson script, a test) press its
// keys, enter line and destination, load a stop file and read what the sign
// shows. Each call becomes the key press a click makes, and the state is the
// simulator's snapshot: the door adds no behaviour of its own.

#include <sessionbus.h>

#include <QDBusConnection>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QByteArray;
class QWidget;

namespace state {
class Feed;
}

namespace bus {

// The version of the door's interface: 1 was the first (keys, line and
// destination, a stop file, a few properties), 2 adds the whole state, the
// direct methods and errors by name, 3 whether an IBIS line is open, 4 the
// X display the simulator runs on. It grows only by additions.
inline constexpr unsigned InterfaceVersion = 4;

// The names the keys of the control unit answer to on the bus and on the
// command line, as PressKey takes them.
QStringList keyNames();
// Whether `name` names a key: case does not matter, and "Menue", "Menu"
// and "Schliessen" stand for the keys with the umlaut and the ß.
bool isKeyName(const QString& name);

// The X display the windows are on, as DISPLAY names it (the start sets it
// to what Qt's -display option names); empty on any other platform. One
// user's two graphical logins may share one session bus: by this property,
// Display, a second start and a client such as the companion tell whose
// simulator owns the name there.
QString xDisplay();

// The current stop as the bus carries it, (us): its number and its name.
struct StopOnRoute {
    uint index = 0;
    QString name;
    bool operator==(const StopOnRoute&) const = default;
};

// Starting the web sign on request of a second start: the address (empty
// for the loopback address) and port (0 for the usual one); answers with
// the address where the sign is served, or why it is not.
struct WebAnswer {
    bool served = false;
    QString text;
};
using WebRequest = std::function<WebAnswer(const QString& address, uint port)>;

// Hands the launcher's token (from an activation request) to the window
// system with the window, before it is raised.
using MarkActivation = void (*)(QWidget& window, const QByteArray& token);

class DoorObject;

// The object on the bus. Every call is read by hand, so that a call with
// the wrong arguments is answered as such, and the description the bus
// gives of it carries documentation and nothing of Qt's own.
class Door {
public:
    // Connects to the user's session bus, if there is one, and claims the
    // application id there. When another instance owns it, asks that one to
    // show and raise its windows and says so in one line; when that one does
    // not answer within a few seconds, says that instead.
    Door();
    ~Door();
    Door(const Door&) = delete;
    Door& operator=(const Door&) = delete;

    // The exit status of this start when it handed over to another instance.
    std::optional<int> handedOver() const { return handedOver_; }
    // From now on calls reach the windows the feed watches, and its changes
    // are published. A request for the web sign goes to `webRequest`.
    void serve(state::Feed& feed, WebRequest webRequest = {}, MarkActivation markActivation = nullptr);

    // After handing over: asks the running program to serve the web sign
    // and prints where it does, or why not; the exit status of this start.
    int handOverWebRequest(const QString& address, uint port);

private:
    // Leaves the bus for good: the object off it, the connection closed.
    void giveUpBus();

    std::optional<QDBusConnection> bus_;
    std::optional<int> handedOver_;
    std::unique_ptr<DoorObject> object_;
};

} // namespace bus

Q_DECLARE_METATYPE(bus::StopOnRoute)
