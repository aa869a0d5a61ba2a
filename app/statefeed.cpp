#include "statefeed.h"

#include "startup.h"

#include <text.h>
#include <timer.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

StateFeed::StateFeed(Windows& windows) : windows_(windows)
{
    TForm2& unit = windows.controlUnit();
    unit.OnStateChange = [this] { changedNow(); };
    // The sentence is announced in the middle of a handler; it goes out
    // with the changes the handler makes, once it has made them all.
    unit.OnAnnounce = [this](const tk::Text& sentence) {
        if (announcements_.isEmpty())
            QTimer::singleShot(0, this, [this] { changedNow(); });
        // As the bus and the web carry text: a NUL reads as U+FFFD.
        announcements_ << tk::toQString(sentence).replace(QChar(0), QChar::ReplacementCharacter);
    };
    // The sign pages a long text by itself, and what it shows changes with
    // each page change.
    tk::Timer* pages = windows.sign().Timer1;
    pageChange_ = std::move(pages->OnTimer);
    pages->OnTimer = [this] {
        pageChange_();
        changedNow();
    };
    // A dialog opening or closing: the operator's last act before it opened
    // should be known while it is open.
    qApp->installEventFilter(this);
}

StateFeed::~StateFeed()
{
    qApp->removeEventFilter(this);
    TForm2& unit = windows_.controlUnit();
    unit.OnStateChange = nullptr;
    unit.OnAnnounce = nullptr;
    windows_.sign().Timer1->OnTimer = std::move(pageChange_);
}

void StateFeed::changedNow()
{
    emit changed();
    for (const QString& sentence : std::exchange(announcements_, {}))
        emit announced(sentence);
}

bool StateFeed::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->isWindow() && static_cast<QWidget*>(watched)->isModal())
        QTimer::singleShot(0, this, [this] { changedNow(); });
    return false;
}
