#pragma once
// The simulator's calls through its door on the session bus: its Announced
// signal, which no clipboard manager can replay or take away. The companion
// listens there like any other client, for whichever simulator owns the
// application id, and knows whether one does.

#include <QDBusConnection>
#include <QObject>

class SimulatorOnBus : public QObject {
    Q_OBJECT
public:
    explicit SimulatorOnBus(const QDBusConnection& bus, QObject* parent = nullptr);

    // A simulator owns its id on this bus: its calls come through here.
    bool present() const { return present_; }

signals:
    void announcement(const QString& text);
    void vanished();

private slots:
    void announced(const QString& sentence);

private:
    bool present_ = false;
};
