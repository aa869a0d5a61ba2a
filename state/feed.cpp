#include "feed.h"

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace state {

Feed::Feed(TForm1& sign, TForm2& unit) : sign_(sign), unit_(unit), current_(read(sign, unit))
{
    connect(&unit, &TForm2::stateChanged, this, &Feed::changedNow);
    // The sentence is announced in the middle of a handler; it goes out with
    // the changes the handler makes, once it has made them all.
    connect(&unit, &TForm2::announced, this, [this](const tk::Text& sentence) {
        announcements_.push_back(sentence);
        later();
    });
    // The sign pages a long text by itself.
    connect(&sign, &TForm1::pageChanged, this, &Feed::changedNow);
    // A dialog opening or closing: the operator's last act before it opened
    // should be known while it is open.
    QCoreApplication::instance()->installEventFilter(this);
}

Feed::~Feed()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

Snapshot Feed::readNow() const
{
    Snapshot now = read(sign_, unit_);
    now.ibisConnected = ibisConnected_;
    return now;
}

void Feed::setIbisConnected(bool connected)
{
    ibisConnected_ = connected;
    changedNow();
}

void Feed::changedNow()
{
    pending_ = false;
    Snapshot now = readNow();
    if (!(now == current_)) {
        const Snapshot before = std::exchange(current_, std::move(now));
        emit changed(current_, before);
    }
    for (const Text& sentence : std::exchange(announcements_, {}))
        emit announced(sentence);
}

void Feed::later()
{
    if (pending_)
        return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (pending_)
            changedNow();
    });
}

bool Feed::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->isWindow() && static_cast<QWidget*>(watched)->isModal())
        later();
    return false;
}

} // namespace state
