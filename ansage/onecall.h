#pragma once
// One voice per call, whichever way the call comes. While a simulator is on
// the session bus, each of its calls arrives twice: as its Announced signal
// and as a numbered copy on the clipboard, in either order. The bus is the
// call; the copy is left. But the companion learns that the simulator has
// left the bus only from the bus's own notice, which may come after the
// last copies on the clipboard: a copy that no signal matches is therefore
// held a moment, dropped when its signal comes, and spoken when the
// simulator is seen to leave or the moment passes without a signal.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class OneCall : public QObject {
    Q_OBJECT
public:
    // How long a copy waits for its signal, and how long a call spoken one
    // way keeps the other way's copy of it from being spoken again.
    static constexpr int HoldMs = 1000;
    static constexpr int TwinMs = 3000;

    explicit OneCall(QObject* parent = nullptr);

    // A call from the simulator's Announced signal.
    void fromBus(const QString& sentence);
    // A numbered copy on the clipboard of a call the simulator, said to be
    // on the bus, also sends there.
    void fromClipboard(const QString& sentence);
    // The simulator has left the bus: a copy held for it is spoken now.
    void simulatorLeft();

signals:
    void speak(const QString& sentence);

private:
    struct Recent {
        QString sentence;
        QElapsedTimer since;
        bool matches(const QString& other) const;
    };
    void release();

    QString held_;
    QTimer holding_;
    Recent spokenFromBus_;
    Recent spokenFromClipboard_;
};
