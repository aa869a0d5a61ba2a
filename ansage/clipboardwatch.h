#pragma once
// Watches the system clipboard and reports every announcement the simulator
// puts on it, also the same sentence set again (two calls of one stop are
// two announcements).
//
// The simulator offers each call under a private format too, a number that
// grows with each call. Clipboard managers keep the text only, and restore
// it when the simulator ends or the manager starts; a text without a new
// number is therefore not a call, and is spoken only when asked for (any
// program's "nächste Haltestelle: …").

#include <QObject>

class QClipboard;

class ClipboardWatch : public QObject {
    Q_OBJECT
public:
    // Calls numbered `notAfter` or lower are old; the simulator numbers them
    // with the time in milliseconds since 1970, so the time the companion
    // started is a good start.
    ClipboardWatch(QClipboard* clipboard, bool plainTextsToo, qint64 notAfter, QObject* parent = nullptr);

signals:
    // `numbered`: a call of the simulator's, with its number; else a plain
    // text, reported only when plain texts are asked for.
    void announcement(const QString& text, bool numbered);
    // An announcement without its number, not spoken (plain texts are not
    // asked for): put back by a clipboard manager, or a call whose number
    // another program has taken away (clipboardtakeover.h).
    void numberMissing();

private:
    void changed();

    QClipboard* clipboard_;
    bool plainTextsToo_;
    qint64 last_;
};
