#pragma once
// Where the program finds the session bus of the user's desktop, and the
// names it goes by there: shared by the door, which serves on it, and the
// command line's client, which calls the running program through it.

#include <QDBusConnection>

#include <optional>

namespace bus {

inline constexpr char ApplicationId[] = "io.github.pendralumovista.Pendralumovista";
inline constexpr char ObjectPath[] = "/io/github/pendralumovista/Pendralumovista";
inline constexpr char ControlUnitInterface[] = "io.github.pendralumovista.Pendralumovista.ControlUnit";
// The error names the door answers with, each under this prefix.
inline constexpr char ErrorPrefix[] = "io.github.pendralumovista.Pendralumovista.Error.";
// How long a second start waits for the running simulator to answer its
// activation, and the command line's client for any call: a simulator that
// is stopped or hangs is reported after this, not after the bus library's
// 25 seconds.
inline constexpr int AnswerTimeoutMs = 3000;

// AnswerTimeoutMs, unless PENDRALUMOVISTA_BUS_ANSWER_MS names another number
// of milliseconds. That variable is read for the test of a hung simulator
// alone, which would otherwise wait out the full time twice; it is no
// setting for users.
int answerTimeoutMs();

// The waited time as the one-line messages name it: "3" or "0,5" seconds.
QString answerTimeoutSeconds();

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

} // namespace bus
