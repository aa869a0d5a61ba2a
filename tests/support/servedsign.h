#pragma once
// The simulator's windows with the web sign served from the test's own
// process, as the program runs them with --web. Tests change the sign
// through the control unit and tell the feed, as the program's event loop
// would; the sign's page changes are theirs to make, one tick at a time.

#include "scriptedplatform.h"

#include <startup.h>
#include <feed.h>
#include <websign.h>

#include <QObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class ServedSign : public QObject {
protected:
    ScriptedPlatform platform;
    std::unique_ptr<Windows> windows;
    std::unique_ptr<state::Feed> feed;
    std::unique_ptr<web::WebSign> sign;
    quint16 port = 0;
    QTemporaryDir scratch;

    TForm2& unit() { return windows->controlUnit(); }

    // Serves on `port` (0: any free one, then kept, so that a server started
    // again serves where the last one did).
    void start()
    {
        sign = std::make_unique<web::WebSign>([this] { return web::stateOf(feed->readNow()); });
        QString error;
        QVERIFY2(sign->listen(QString(), port, &error), qPrintable(error));
        port = quint16(sign->url().port());
        sign->follow(*feed);
    }

    // A key of the control unit, as the face's click runs it.
    void press(void (TForm2::*handler)(tk::MouseButton, tk::ShiftState, int, int))
    {
        (unit().*handler)(tk::MouseButton::Left, {}, 0, 0);
        feed->changedNow();
    }

    void setUp()
    {
        windows = std::make_unique<Windows>();
        feed = std::make_unique<state::Feed>(windows->sign(), windows->controlUnit());
        windows->sign().Timer1->setInterval(3'600'000);
        port = 0;
        start();
    }

    void tearDown()
    {
        platform.whileBoxOpen = nullptr;
        sign.reset();
        feed.reset();
        windows.reset();
    }
};
