#pragma once
// The one place that hears of every change of the simulator's state, for
// everyone who shows it elsewhere (the door on the session bus, the web
// sign): after each key handler and timer tick of the control unit, after
// each page change of the sign, when a dialog opens or closes, and after a
// call from outside. Listeners read the state again and pass on what
// differs; the announcements of a change follow it.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class Windows;

class StateFeed : public QObject {
    Q_OBJECT
public:
    explicit StateFeed(Windows& windows);
    ~StateFeed() override;
    StateFeed(const StateFeed&) = delete;
    StateFeed& operator=(const StateFeed&) = delete;

    Windows& windows() const { return windows_; }

    // The state may have changed: tells every listener now, then hands on
    // the announcements made meanwhile.
    void changedNow();

signals:
    // Look again: something may differ from what was passed on last.
    void changed();
    // An announcement sentence, after the change it belongs to.
    void announced(const QString& sentence);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Windows& windows_;
    QStringList announcements_;
    // The sign's own page change, which the feed's runs first.
    std::function<void()> pageChange_;
};
