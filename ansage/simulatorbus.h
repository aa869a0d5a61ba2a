#pragma once
// The simulator's calls through its door on the session bus: its Announced
// signal, which no clipboard manager can replay or take away. The companion
// listens there like any other client, for whichever simulator owns the
// application id, and knows whether one does.
//
// One user's two graphical logins may share one session bus, and then one
// simulator, of one desktop, owns the id. The door names the X display the
// simulator runs on (its property Display); a simulator that names another
// desktop than the companion's own is not followed: its calls are that
// desktop's, and a simulator on this desktop that could not take the id
// reaches this companion through the clipboard alone. A simulator that
// names no display (an older one, or one without X) is followed, as no
// other desktop can be told apart from this one.

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>
#include <QString>

class SimulatorOnBus : public QObject {
    Q_OBJECT
public:
    // `display`: the companion's X display, as DISPLAY names it.
    SimulatorOnBus(const QDBusConnection& bus, const QByteArray& display, QObject* parent = nullptr);

    // A simulator of this desktop owns its id on this bus, or one that has
    // not yet said where it runs: its calls come through here.
    bool present() const { return owner_ == Owner::Here || owner_ == Owner::Asking; }

signals:
    void announcement(const QString& text);
    // The simulator followed until now has left, or turned out to be
    // another desktop's.
    void vanished();
    // The simulator on the bus runs on another desktop, this display.
    void elsewhere(const QString& display);

private slots:
    void announced(const QString& sentence);

private:
    enum class Owner { None, Asking, Here, Elsewhere };
    void ownerChanged(const QString& owner);
    void answered(quint64 question, const QString& display);
    void become(Owner owner);

    QDBusConnection bus_;
    QByteArray desktop_;
    Owner owner_ = Owner::None;
    // Questions about the display go out on each change of owner; only the
    // answer to the last counts.
    quint64 question_ = 0;
    // The last call heard while the answer is awaited.
    QString waiting_;
};
