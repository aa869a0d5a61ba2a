#pragma once
// Watches the system clipboard and reports every announcement put on it,
// also the same sentence set again (two calls of one stop are two
// announcements). Other texts and an emptied clipboard are ignored.

#include <QObject>

class QClipboard;

class ClipboardWatch : public QObject {
    Q_OBJECT
public:
    explicit ClipboardWatch(QClipboard* clipboard, QObject* parent = nullptr);

signals:
    void announcement(const QString& text);

private:
    void changed();

    QClipboard* clipboard_;
};
