#pragma once
// The one place that hears of every change of what the simulator shows, for
// every outlet: after each key handler and timer tick of the control unit,
// after each page change of the sign, when a dialog opens or closes, and
// after a call from outside. It reads the windows once and sends the change
// with what it was before, only when something differs; the announcements
// made meanwhile follow the change they belong to.

#include "snapshot.h"

#include <QObject>

#include <vector>

class TForm1;
class TForm2;

namespace state {

class Feed : public QObject {
    Q_OBJECT
public:
    Feed(TForm1& sign, TForm2& unit);
    ~Feed() override;
    Feed(const Feed&) = delete;
    Feed& operator=(const Feed&) = delete;

    TForm1& sign() const { return sign_; }
    TForm2& unit() const { return unit_; }

    // What was sent last (read at construction, before anything is sent).
    const Snapshot& current() const { return current_; }
    // The windows read now, without telling anyone.
    Snapshot readNow() const;

    // Whether a line to IBIS equipment is open; a change is sent at once.
    void setIbisConnected(bool connected);

    // The state may have changed: reads it, sends changed() if it differs,
    // then the announcements made meanwhile.
    void changedNow();

signals:
    void changed(const state::Snapshot& now, const state::Snapshot& before);
    // An announcement sentence, in the program's bytes, after the change it
    // belongs to.
    void announced(const tk::Text& sentence);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void later();

    TForm1& sign_;
    TForm2& unit_;
    Snapshot current_;
    std::vector<Text> announcements_;
    bool pending_ = false;
    bool ibisConnected_ = false;
};

} // namespace state
